import unittest
from pathlib import Path

import schema
from tests.support import SAMPLE

PROTOCOL = Path(__file__).resolve().parents[3] / "schema" / "protocol.toml"


def edited(old: str, new: str) -> str:
    assert old in SAMPLE, old
    return SAMPLE.replace(old, new, 1)


class LoadSample(unittest.TestCase):
    def setUp(self):
        self.model = schema.loads(SAMPLE)

    def test_every_kind_resolves_with_its_api_spelling(self):
        order = {r.name: r for r in self.model.records}["Order"]
        spelled = [(f.name, f.type.kind, f.type.api_spelling) for f in order.fields]
        self.assertEqual(spelled, [
            ("feedID", "int32", "FeedID_t"),
            ("small", "int8", "int8_t"),
            ("medium", "int16", "int16_t"),
            ("big", "int64", "int64_t"),
            ("flag", "bool", "bool"),
            ("side", "enum", "Side::Type"),
            ("amount", "decimal", "OXFloat"),
            ("pairs", "list", "std::vector<Pair>"),
            ("ids", "list", "std::vector<int>"),
            ("names", "list", "std::vector<std::string>"),
        ])
        pair = {r.name: r for r in self.model.records}["Pair"]
        self.assertEqual(pair.fields[1].type.api_spelling, "Decimal_t")

    def test_catalogue_kinds_and_large_values_are_carried(self):
        log, pad = self.model.messages[0], self.model.messages[1]
        self.assertEqual(log.fields[0].type.kind, "scrambled_string")
        self.assertEqual(pad.fields[0].type.kind, "fixed_string")
        request = [e for e in self.model.enums if e.name == "Request"][0]
        self.assertEqual(request.max_value, 53328)

    def test_api_views_keep_schema_order(self):
        self.assertEqual([e.name for e in self.model.api_enums()], ["Side", "MatchStatus"])
        self.assertEqual([m.name for m in self.model.api_messages()],
                         ["OrderMessage", "TickMessage"])
        status = self.model.api_enums()[1]
        self.assertEqual(status.values, [("PENDING", 3), ("DONE", 0), ("ERROR", 4)])
        order = {r.name: r for r in self.model.records}["Order"]
        self.assertEqual([f.name for f in order.fields],
                         ["feedID", "small", "medium", "big", "flag", "side", "amount", "pairs",
                          "ids", "names"])
        self.assertEqual(status.max_value, 5)

    def test_minimum_sizes_and_terminal_groups(self):
        records = {r.name: r for r in self.model.records}
        self.assertEqual(records["Pair"].min_wire_size, 2)
        self.assertEqual(records["Order"].min_wire_size, 10)
        self.assertTrue(records["Pair"].terminal)
        self.assertFalse(records["Order"].terminal)
        self.assertFalse(self.model.messages[2].terminal)


class Rejects(unittest.TestCase):
    CASES = [
        ("unknown type", '["medium", "int16"]', '["medium", "int12"]', "unknown type 'int12'"),
        ("record used before it is declared", '["key", "string"]', '["key", "Order"]',
         "unknown type 'Order'"),
        ("a record holding itself", '["key", "string"]', '["key", "Pair"]',
         "unknown type 'Pair'"),
        ("list of an unsupported element", '["ids", "list<int32>"]', '["ids", "list<int64>"]',
         "lists hold int32, string or a record"),
        ("duplicate message id", "id = 0x0002", "id = 0xD020", "id 0xD020 is already used"),
        ("id beyond 16 bits", "id = 0x0002", "id = 0x10000", "not a 16-bit"),
        ("index out of order", "index = 1", "index = 5", "index 2 does not follow 5"),
        ("name used twice", 'name = "Stat"', 'name = "Side"', "already used by enum Side"),
        ("typedef of a bad kind", 'FeedID_t = "int32"', 'FeedID_t = "decimal"',
         "typedef FeedID_t: kind 'decimal'"),
        ("duplicate enum value", '["DONE", 0]', '["DONE", 3]', "have the same value 3"),
        ("enum value name twice", '["DONE", 0]', '["PENDING", 0]',
         "enum MatchStatus: 'PENDING' stands twice in values"),
        ("API enum value above 254", '["BID", 1]', '["BID", 255]', "outside 0..254"),
        ("field name twice", '["big", "int64"]', '["small", "int64"]',
         "record Order: 'small' stands twice in fields"),
        ("API message with a catalogue-only kind", '["userID", "int32"]',
         '["userID", "scrambled_string"]', "API model has no scrambled_string fields"),
        ("API record holding a catalogue record", '["names", "list<string>"]',
         '["names", "list<Stat>"]', "record Stat is not in the API model"),
        ("API message with a catalogue enum", '["dummy", "int8"]', '["dummy", "Request"]',
         "enum Request is not in the API model"),
        ("contents that is not the message's record", '["contents", "Order"]',
         '["contents", "Pair"]', "contents must be the record Order"),
        ("message name without the suffix", 'name = "TickMessage"', 'name = "Tick"',
         "end with 'Message'"),
        ("unknown key", "api = true\nfields = [\n    [\"key\"",
         "api = true\napi_twin = 1\nfields = [\n    [\"key\"", "unknown key 'api_twin'"),
        ("field name that is a C++ keyword", '["small", "int8"]', '["class", "int8"]',
         "not a usable identifier"),
        ("field name the generated code uses", '["small", "int8"]', '["rhs", "int8"]',
         "field rhs: the name is used by the generated code"),
        ("field name of a catalogue member", '["small", "int8"]', '["fields", "int8"]',
         "field fields: the name is used by the generated code"),
        ("empty field array", 'fields = [\n    ["dummy", "int8"],\n]', "fields = []",
         "fields must be a non-empty array"),
        # A table has no order: the wire order must not rest on the order of its keys.
        ("fields as a table", 'fields = [\n    ["dummy", "int8"],\n]',
         '[message.fields]\ndummy = "int8"', "fields must be a non-empty array"),
        ("values as a table", 'values = [["BID", 1], ["OFR", 2]]',
         "values = { BID = 1, OFR = 2 }", "values must be a non-empty array"),
        ("a field that is not a pair", '["flag", "bool"]', '["flag", "bool", "x"]',
         "is not a [\"name\", \"type\"] pair"),
        ("a value that is not a pair", '["OFR", 2]', '"OFR"',
         "is not a [\"NAME\", number] pair"),
        ("malformed TOML", "index = 3", "index = ", "Invalid"),
        ("signature with an upper-case digit", 'api = "fedcba98', 'api = "FEDCBA98',
         "signatures.api: 'FEDCBA9876543210fedcba9876543210' is not 32 lower-case"),
        ("signature one digit short", 'storage = "0011', 'storage = "011',
         "signatures.storage: '011223344556677"),
        ("signature that is a number", 'protocol = "0123456789abcdef0123456789abcdef"',
         "protocol = 12", "signatures.protocol: 12 is not 32"),
        ("two equal signatures", 'storage = "00112233445566778899aabbccddeeff"',
         'storage = "0123456789abcdef0123456789abcdef"',
         "signatures.storage: the same text as signatures.protocol"),
        ("a signature missing", 'storage = "00112233445566778899aabbccddeeff"\n', "",
         "signatures: missing 'storage'"),
        ("signatures missing", "[signatures]", "[no_signatures]", "missing 'signatures'"),
    ]

    def test_each_fault_is_named(self):
        for what, old, new, expected in self.CASES:
            with self.subTest(what):
                with self.assertRaises(schema.SchemaError) as ctx:
                    schema.loads(edited(old, new))
                self.assertIn(expected, str(ctx.exception))


class Totals(unittest.TestCase):
    def test_enforced_totals_match(self):
        text = SAMPLE.replace("enforce = false", "enforce = true")
        schema.loads(text)

    def test_enforced_totals_report_a_missing_entry(self):
        api_line = ("api = { enforce = false, enums = 2, records = 2, messages = 2, "
                    "contents_messages = 1 }")
        cat_line = "catalogue = { enforce = false, enums = 3, records = 4, messages = 4 }"
        cases = [
            (api_line, api_line.replace("false", "true").replace("enums = 2", "enums = 3"),
             "API enumerations: 2 described, 3 expected"),
            (api_line, api_line.replace("false", "true").replace("records = 2", "records = 1"),
             "API records: 2 described, 1 expected"),
            (api_line, api_line.replace("false", "true").replace("contents_messages = 1",
                                                                 "contents_messages = 2"),
             "with a contents record: 1 described, 2 expected"),
            (cat_line, cat_line.replace("false", "true").replace("messages = 4", "messages = 5"),
             "catalogue messages: 4 described, 5 expected"),
            (cat_line, cat_line.replace("false", "true").replace("records = 4", "records = 2"),
             "catalogue records: 4 described, 2 expected"),
            (cat_line, cat_line.replace("false", "true").replace("}", ", terminal = 3 }"),
             "catalogue terminal types: 5 described, 3 expected"),
            (cat_line, cat_line.replace("false", "true").replace("}", ", non_terminal = 4 }"),
             "catalogue non-terminal types: 3 described, 4 expected"),
            (cat_line, cat_line.replace("false", "true").replace(
                "}", ", fields = { string = 2, int32 = 4, int8 = 2, int16 = 1, int64 = 1, "
                "bool = 1, decimal = 1, enum = 3, record = 2, list = 5, scrambled_string = 1, "
                "fixed_string = 1 } }"),
             "catalogue string fields: 3 described, 2 expected"),
            (cat_line, cat_line.replace("false", "true").replace("}", ", fields = { int32 = 4 } }"),
             "catalogue bool fields: 1 described, 0 expected"),
            (cat_line, cat_line.replace("}", ", fields = { text = 1 } }"),
             "checks.catalogue.fields: a table of counts by field kind"),
        ]
        for old, new, expected in cases:
            with self.subTest(expected):
                with self.assertRaises(schema.SchemaError) as ctx:
                    schema.loads(edited(old, new))
                self.assertIn(expected, str(ctx.exception))

    def test_catalogue_indexes_must_be_contiguous(self):
        with self.assertRaises(schema.SchemaError) as ctx:
            schema.loads(edited("index = 3", "index = 4"))
        self.assertIn("indexes are not 0 to 3", str(ctx.exception))


class Protocol(unittest.TestCase):
    """The project's own description."""

    def setUp(self):
        self.model = schema.load(PROTOCOL)

    def test_enumerations_in_initialisation_order(self):
        self.assertEqual([e.name for e in self.model.api_enums()], [
            "LogLevel", "Side", "MDElement", "MDSource", "MDUpdateAction", "OrderStatus",
            "TimeInForce", "MatchStatus", "OrderType", "RejectReason", "CancelRejectReason",
            "APIResult", "ExchEventType", "APIType", "APITest", "ReplayStatus", "CancelReason",
            "ConnectionResponse", "CcyType", "RiskStatus", "LockStatus", "InstrumentType",
            "StandardTenor", "FeedFlag", "SubscriptionStatus"])

    def test_enumeration_table_sizes(self):
        sizes = {e.name: (e.max_value, len(e.values)) for e in self.model.api_enums()}
        self.assertEqual(sizes["APIResult"], (255, 37))
        self.assertEqual(sizes["CancelRejectReason"], (255, 20))
        self.assertEqual(sizes["RejectReason"], (255, 27))
        self.assertEqual(sizes["StandardTenor"], (26, 26))
        self.assertEqual(sizes["MatchStatus"], (5, 3))
        self.assertEqual(sizes["MDSource"], (9, 4))
        self.assertEqual(sizes["TimeInForce"], (5, 4))

    def test_messages_in_handler_order(self):
        described = [(m.name, m.id) for m in self.model.api_messages()]
        self.assertEqual(described, [
            ("VersionMessage", 0x0000), ("RuThereMessage", 0xA013), ("ImHereMessage", 0xA014),
            ("HeartbeatMessage", 0xA015), ("ReplayMessage", 0xD040),
            ("ReplayDoneMessage", 0xD042), ("LastSequenceIDMessage", 0xD041),
            ("BatchRegisterMessage", 0xD050), ("BatchUnregisterMessage", 0xD051),
            ("BatchesCompletedMessage", 0xD052), ("MktDataMessage", 0xB099),
            ("SubmitOrderMessage", 0xF0E9), ("CancelOrderMessage", 0xF0EA),
            ("CancelAllOrderMessage", 0xF0EB), ("ModifyOrderMessage", 0xF0EC),
            ("ComplexOrderMessage", 0xF0EE), ("OrderReceivedMessage", 0xF0ED),
            ("OrderSubmittedMessage", 0xF0E8), ("OrderRejectedMessage", 0xF0E7),
            ("OrderCanceledMessage", 0xF0E6), ("OrderDoneMessage", 0xF0E5),
            ("OrderCancelRejectedMessage", 0xF0E4), ("TradeCaptureMessage", 0xF0E3),
            ("DropCopyMessage", 0xF0E2), ("EventReportMessage", 0xF0C6),
            ("DateRolloverMessage", 0xF0C7), ("ClientConnectMessage", 0xFA01),
            ("ClientDisconnectMessage", 0xFA02), ("ConnectResponseMessage", 0xFA10),
            ("TradeLimitDataMessage", 0xFA13), ("RiskResponseMessage", 0xFA16),
            ("LockResponseMessage", 0xFA14), ("LockUserMessage", 0xFA15),
            ("ConfigMessage", 0xFA06), ("SubscribeMessage", 0xFA03),
            ("UnsubscribeMessage", 0xFA04), ("UnsubscribeAllMessage", 0xFA05),
            ("SubscriptionEventMessage", 0xFA07), ("InsertLogMessage", 0xFA09),
            ("TestMessage", 0xFA11), ("RequestSnapshotMessage", 0xF203)])

    def test_catalogue_in_index_order_with_every_entry(self):
        self.assertTrue(self.model.catalogue_totals.enforce)
        messages = self.model.messages
        self.assertEqual([(m.index, m.name, m.id) for m in messages[:3]],
                         [(0, "LogMessage", 0xD020), (1, "StatCounterMessage", 0xD034),
                          (2, "ExchangeMessage", 0xD030)])
        self.assertEqual((messages[10].name, messages[59].name), ("VersionMessage",
                                                                  "RequestMessage"))
        self.assertEqual(sum(1 for m in messages if not m.api), 19)
        self.assertEqual([e.name for e in self.model.enums if not e.api],
                         ["Request", "StatType", "Direction", "DateRolloverType"])
        self.assertEqual([r.name for r in self.model.records if r.scalar],
                         ["FeedMarketID", "ReplayDone", "UserSequenceID", "DateRollover",
                          "MemBusID", "Subscription"])
        kinds = {(m.name, f.name): f.type.kind for m in messages for f in m.fields}
        self.assertEqual(kinds[("LogMessage", "thread")], "scrambled_string")
        self.assertEqual(kinds[("PadMessage", "padding")], "fixed_string")
        self.assertEqual(kinds[("ExchangeMessage", "contents")], "string")
        for name in ("StatTimeoutMessage", "TaskInitializationMessage", "MDActivityCheckMessage"):
            self.assertEqual([(f.name, f.type.kind) for f in
                              next(m for m in messages if m.name == name).fields],
                             [("dummy", "int8")])

    def test_signatures_are_distinct_hexadecimal_constants(self):
        signatures = self.model.signatures
        texts = [signatures.protocol, signatures.api, signatures.storage]
        self.assertEqual(len(set(texts)), 3)
        for text in texts:
            self.assertRegex(text, r"^[0-9a-f]{32}$")

    def test_api_totals_are_enforced(self):
        self.assertTrue(self.model.api_totals.enforce)
        self.assertEqual(len(self.model.api_records()), 37)

if __name__ == "__main__":
    unittest.main()
