#include "cli/station_log_reader.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

#include "app/system_text.h"
#include "image/sha256.h"

namespace comflash::cli {

namespace {

constexpr std::size_t kOlderColumns = 12;
constexpr std::size_t kColumns = 17;

// One CSV record (RFC 4180): its fields, the line it starts on, its bytes without the line end.
struct Row {
    std::vector<std::string> fields;
    std::size_t line = 0;
    std::string_view bytes;
    bool ended = false;  // a line end closed it (a torn last record has none)
};

// The record starting at `at`; `at` moves past its line end.
Row nextRow(std::string_view text, std::size_t& at, std::size_t& line) {
    Row row;
    row.line = line;
    const std::size_t start = at;
    std::string field;
    bool quoted = false;
    bool wasQuoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            row.fields.push_back(std::exchange(field, {}));
            wasQuoted = false;
        } else if (c == '\n' || (c == '\r' && at < text.size() && text[at] == '\n')) {
            const std::size_t end = at - 1;
            if (c == '\r') ++at;
            ++line;
            row.fields.push_back(std::move(field));
            row.bytes = text.substr(start, end - start);
            row.ended = true;
            return row;
        } else {
            field += c;
        }
    }
    row.fields.push_back(std::move(field));
    row.bytes = text.substr(start);
    return row;
}

std::string withoutLineEnd(std::string header) {
    header.resize(header.size() - 2);
    return header;
}

template <typename Number>
std::optional<Number> number(const std::string& text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    return value;
}

// The record a row holds; none when a column cannot be read.
std::optional<BoardRecord> recordOf(const Row& row) {
    const auto& f = row.fields;
    BoardRecord r;
    r.time = f[0];
    r.port = f[1];
    r.device = f[2];
    r.firmware = f[3];
    r.sha256 = f[4];
    r.model = f[5];
    r.version = f[6];
    r.result = f[7];
    r.code = f[8];
    if (f[9] != "yes" && f[9] != "no") return std::nullopt;
    r.verified = f[9] == "yes";
    const auto seconds = number<double>(f[10]);
    const auto bytes = number<long>(f[11]);
    if (!seconds || !bytes) return std::nullopt;
    r.seconds = *seconds;
    r.bytes = *bytes;
    if (f.size() == kColumns) {
        r.id = f[12];
        r.station = f[13];
        r.serial = f[14];
        r.serialState = f[15];
        r.note = f[16];
    }
    // The line's own bytes, whatever ends it: one record read from one log twice is one id.
    if (r.id.empty()) r.id = image::sha256Hex(row.bytes).substr(0, 32);
    return r;
}

}  // namespace

ReadLog readStationLog(std::string_view text, const std::string& name) {
    ReadLog read;
    std::size_t at = 0;
    std::size_t line = 1;
    if (text.empty()) return read;
    const Row header = nextRow(text, at, line);
    std::size_t columns = 0;
    if (header.bytes == withoutLineEnd(csvHeader())) columns = kColumns;
    if (header.bytes == withoutLineEnd(olderCsvHeader())) columns = kOlderColumns;
    if (columns == 0) {
        read.failure = name + ": its first line is not the header of a station's log";
        return read;
    }
    while (at < text.size()) {
        const Row row = nextRow(text, at, line);
        if (row.bytes.empty() && row.ended) continue;  // a blank line
        std::string why;
        if (!row.ended) {
            why = "has no line end: a record torn when the station stopped";
        } else if (row.fields.size() != columns) {
            why = "has " + std::to_string(row.fields.size()) + " fields, not " +
                  std::to_string(columns);
        }
        std::optional<BoardRecord> record;
        if (why.empty() && !(record = recordOf(row))) {
            why = "has a verified, seconds or bytes column that is not a record's";
        }
        if (!why.empty()) {
            read.warnings.push_back(name + ": line " + std::to_string(row.line) + " " + why +
                                    "; it is left out");
            continue;
        }
        read.records.push_back(std::move(*record));
    }
    return read;
}

ReadLog readStationLogFile(const std::string& path) {
    std::ifstream in(app::pathFromUtf8(path), std::ios::binary);
    if (!in) {
        ReadLog read;
        read.failure = app::shownName(path) + ": " + std::strerror(errno);
        return read;
    }
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        ReadLog read;
        read.failure = app::shownName(path) + ": cannot be read";
        return read;
    }
    return readStationLog(text, app::shownName(path));
}

}  // namespace comflash::cli
