// zurav-logreader: prints the binary message log files that the library writes (OXClient::setlog
// makes DIR/ZURAV.<YYYY-MM-DD.HHMMSS>.dat) as text, one record per line: the record's time stamp
// in UTC, its offset in the file and the message as the library renders it.
//
//   zurav-logreader [--pretty] FILE...
//
// --pretty spreads each message over indented lines, one field a line, each under the first
// field of its record (or list element under the first element). The file is read with the
// library's own reader (Tarvik::MsgLogFile and MsgIterator: the file mapped read-only, walked
// record by record) and each record is rendered by the catalogue's text writer
// (Orbanex::AsciiWriter), the same that writes the messages attached to text log lines. Strings
// that the file holds scrambled are printed in clear.
//
// A file that ends in the middle of a record (a process that died while writing) is read up to
// its last whole record, and the rest is reported. A record that cannot be decoded is reported
// and skipped. Exit status: 0, or 1 when a file could not be opened or had a record that could
// not be read.
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/OXProtocol.h"
#include "catalogue/OXProtocolWriter.h"
#include "client/OXInit.h"
#include "common/FastOStream.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgLogFile.h"

namespace {

// Room for the largest record a file can hold (a 16-bit length), decoded: message blocks are
// 8-byte aligned.
constexpr size_t BLOCK_SIZE = 256 * 1024;
// Room for the text of one message; longer text is cut.
constexpr size_t TEXT_SIZE = 4 * 1024 * 1024;

// The codec of the pretty layout. The catalogue's writer, in its pretty layout, puts each field of
// a record that holds records or lists on a line of its own, indented under the record's first
// field, but keeps a record of plain fields (a LogMessage, the version record) on one line, its
// fields two spaces apart: the writer's separator, the one text it writes as "  ". This codec
// writes a new line and the same indentation in its place, so every field gets a line.
class FieldPerLineCodec : public Orbanex::ACodec {
  public:
    explicit FieldPerLineCodec(Orbanex::FastOStream& os) : Orbanex::ACodec(os) {}

    void write_data(const char* x) override {
        if (std::strcmp(x, "\n") == 0 || std::strcmp(x, "  ") == 0) {
            Orbanex::ACodec::write_data("\n");
            _lineStart = stream().size();
            if (x[0] == ' ') {
                for (size_t i = 0; i < _column; ++i) Orbanex::ACodec::write_data(" ");
            }
            return;
        }
        Orbanex::ACodec::write_data(x);
        // A record's first field stands after the bracket and one space. The records that stay
        // on one line hold no other record, so the last one opened is the one whose fields are
        // being separated.
        if (std::strcmp(x, "(") == 0) _column = stream().size() - _lineStart + 1;
    }

  private:
    size_t _lineStart = 0;  // where the current line starts in the stream
    size_t _column = 0;     // of the first field of the record opened last
};

// "2024-03-05 14:07:09.123456", UTC.
std::string timeText(const Tarvik::MsgIterator& it) {
    const time_t secs = static_cast<time_t>(it.nsecs() / 1000000000);
    long usecs = static_cast<long>((it.nsecs() % 1000000000) / 1000);
    time_t whole = secs;
    if (usecs < 0) {
        usecs += 1000000;
        --whole;
    }
    tm parts;
    char date[32] = "?";
    if (gmtime_r(&whole, &parts) != nullptr)
        strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%s.%06ld", date, usecs);
    return text;
}

// Prints every record of one file; false when it could not be opened or a record not be read.
bool printFile(const char* path, bool pretty, char* block, char* text) {
    std::unique_ptr<Tarvik::MsgLogFile> file(Tarvik::MsgLogFile::open(path, Orbanex::__protocol));
    if (!file) {
        std::fprintf(stderr, "zurav-logreader: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    bool ok = true;
    int64_t end = 0;  // where the last record read ends
    size_t records = 0;
    for (Tarvik::MsgIterator it(file.get()); !it.done(); ++it) {
        ++records;
        end = it.tell() + it.length() + 2;
        Orbanex::FastOStream out(text, text + TEXT_SIZE);
        out << timeText(it).c_str() << "  @" << it.tell() << "  ";
        try {
            Tarvik::MsgControl* const message = it.decode(block, BLOCK_SIZE);
            if (message == nullptr) {
                out << "(empty record of type " << it.id() << ")";
            } else {
                // '<', the type's name, the message, '>': the form of the text log lines.
                out << '<' << message->getDescriptor()->name() << ' ';
                Orbanex::ACodec compact(out);
                FieldPerLineCodec perLine(out);
                Orbanex::AsciiWriter writer(pretty ? perLine : compact, pretty,
                                            static_cast<int>(out.size()));
                writer.dispatch(block);
                out << '>';
                message->finalize(false);
            }
        } catch (const std::exception& e) {
            out << "cannot decode the record of type " << it.id() << ": " << e.what();
            ok = false;
        }
        std::printf("%s\n", out.ends());
    }
    if (end < static_cast<int64_t>(file->length())) {
        std::fprintf(stderr,
                     "zurav-logreader: %s: %zu records; the %lld bytes from offset %lld are not a "
                     "whole record\n",
                     path, records, static_cast<long long>(file->length() - end),
                     static_cast<long long>(end));
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    bool pretty = false;
    std::vector<const char*> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pretty") == 0) {
            pretty = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || argv[i][0] == '-') {
            std::fprintf(stderr, "usage: zurav-logreader [--pretty] FILE...\n");
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: zurav-logreader [--pretty] FILE...\n");
        return 2;
    }

    // The catalogue (the record types and their names) is filled by the library's start-up.
    ZURAV::OXInit::initialize();
    std::unique_ptr<uint64_t[]> block(new uint64_t[BLOCK_SIZE / sizeof(uint64_t)]);
    std::unique_ptr<char[]> text(new char[TEXT_SIZE]);
    bool ok = true;
    for (const char* path : paths) {
        if (paths.size() > 1) std::printf("==> %s <==\n", path);
        ok = printFile(path, pretty, reinterpret_cast<char*>(block.get()), text.get()) && ok;
    }
    ZURAV::OXInit::finalize();
    return ok ? 0 : 1;
}
