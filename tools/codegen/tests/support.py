"""A small description that uses every field kind of both models, and reading helpers."""

SAMPLE = """
[checks]
api = { enforce = false, enums = 2, records = 2, messages = 2, contents_messages = 1 }
catalogue = { enforce = false, enums = 3, records = 4, messages = 4 }

[signatures]
protocol = "0123456789abcdef0123456789abcdef"
api = "fedcba9876543210fedcba9876543210"
storage = "00112233445566778899aabbccddeeff"

[typedefs]
FeedID_t = "int32"
Decimal_t = "string"

[[enum]]
name = "Side"
api = true
values = [["BID", 1], ["OFR", 2]]

[[enum]]
name = "Request"            # catalogue only, a value above 255
values = [["SECURITYINFO", 53327]]

[[enum]]
name = "MatchStatus"
api = true
values = [["PENDING", 3], ["DONE", 0], ["ERROR", 4]]

[[record]]
name = "Pair"
api = true
fields = [
    ["key", "string"],
    ["value", "Decimal_t"],
]

[[record]]
name = "Stat"
fields = [
    ["name", "string"],
    ["value", "int32"],
]

[[record]]
name = "Span"               # catalogue only, scalar
fields = [
    ["first", "int32"],
    ["status", "MatchStatus"],
]

[[record]]
name = "Order"
api = true
fields = [
    ["feedID", "FeedID_t"],
    ["small", "int8"],
    ["medium", "int16"],
    ["big", "int64"],
    ["flag", "bool"],
    ["side", "Side"],
    ["amount", "decimal"],
    ["pairs", "list<Pair>"],
    ["ids", "list<int32>"],
    ["names", "list<string>"],
]

[[message]]
name = "LogMessage"
id = 0xD020
index = 0
fields = [
    ["thread", "scrambled_string"],
    ["status", "MatchStatus"],
]

[[message]]
name = "PadMessage"
id = 0x0002
index = 1
fields = [
    ["padding", "fixed_string"],
    ["stats", "list<Stat>"],
    ["spans", "list<Span>"],
    ["span", "Span"],
]

[[message]]
name = "OrderMessage"
id = 0xF0E9
index = 2
api = true
fields = [
    ["userID", "int32"],
    ["contents", "Order"],
]

[[message]]
name = "TickMessage"
id = 0x0000
index = 3
api = true
fields = [
    ["dummy", "int8"],
]
"""


def body(text: str, signature: str) -> str:
    """The lines of the function that starts with signature, up to its closing brace."""
    start = text.index(signature)
    end = text.index("\n}\n", start)
    return text[start:end]
