#include "hex_model.h"

#include <optional>

namespace comflash::fuzz {

namespace {

using image::HexFault;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes after the record mark, as far as they decode, and why decoding stopped there.
struct Decoded {
    std::vector<std::uint8_t> bytes;
    HexFault stop = HexFault::LineEndsEarly;
};

Decoded decode(std::string_view digits) {
    Decoded decoded;
    for (std::size_t at = 0;; at += 2) {
        for (std::size_t i = at; i < at + 2; ++i) {
            if (i >= digits.size()) return decoded;  // LineEndsEarly
            if (hexValue(digits[i]) < 0) {
                decoded.stop = HexFault::NotHexDigit;
                return decoded;
            }
        }
        decoded.bytes.push_back(
            static_cast<std::uint8_t>(hexValue(digits[at]) * 16 + hexValue(digits[at + 1])));
    }
}

LineOutcome fault(HexFault kind) {
    return {LineResult::Fault, kind};
}

}  // namespace

LineOutcome modelLine(std::string_view line, ImageModel& image) {
    if (line.empty() || line.front() != ':') return {};
    const Decoded decoded = decode(line.substr(1));
    const auto& b = decoded.bytes;
    // Whether the record's first n bytes decoded.
    const auto has = [&](std::size_t n) { return b.size() >= n; };
    if (!has(1)) return fault(decoded.stop);
    const std::size_t count = b[0];
    if (count == 0) return {};
    if (!has(4)) return fault(decoded.stop);
    const std::int32_t address = b[1] << 8 | b[2];
    const std::uint8_t type = b[3];
    const std::size_t payload = type == 0x00                   ? count
                                : type == 0x02 || type == 0x04 ? 2
                                : type == 0x03 || type == 0x05 ? 4
                                                               : 0;
    if (payload == 0 || payload != count) return fault(HexFault::UnknownRecord);

    if (type == 0x00) {
        const std::int32_t last = address + static_cast<std::int32_t>(count) - 1;
        image.start = image.firstRecord ? address : std::min(image.start, address);
        image.end = image.firstRecord ? last : std::max(image.end, last);
        image.firstRecord = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (!has(4 + i + 1)) return fault(decoded.stop);
            const auto at = static_cast<std::size_t>(address) + i;
            if (at >= kImageSize) return fault(HexFault::OutsideImage);
            image.bytes[at] = b[4 + i];
        }
    }
    if (!has(4 + count + 1)) return fault(decoded.stop);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 4 + count + 1; ++i) sum = static_cast<std::uint8_t>(sum + b[i]);
    if (sum != 0) return {LineResult::ChecksumMismatch};
    if ((type == 0x02 || type == 0x04) && (b[4] != 0 || b[5] != 0)) {
        return fault(HexFault::OutsideImage);
    }
    return {};
}

std::vector<ModelItem> modelItems(std::string_view text) {
    std::vector<ModelItem> items;
    std::size_t at = 0;
    bool opensLine = true;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        ModelItem item{{}, opensLine};
        opensLine = false;
        while (at < text.size()) {
            const char c = text[at++];
            if (c == ',') break;
            if (c == '\n' || c == '\r') {
                if (c == '\r' && at < text.size() && text[at] == '\n') ++at;
                opensLine = true;
                break;
            }
            item.text.push_back(c);
        }
        items.push_back(std::move(item));
    }
    return items;
}

image::LoadResult modelLoad(std::string_view text, ImageModel& image) {
    image.firstRecord = true;
    for (const ModelItem& item : modelItems(text)) {
        // A line of a file is a record, or blanks and DOS end-of-file marks (0x1A).
        if (item.opensLine && !item.text.starts_with(':') &&
            item.text.find_first_not_of(" \t\v\f\x1A") != std::string::npos) {
            return image::LoadResult::NotARecord;
        }
        switch (modelLine(item.text, image).result) {
            case LineResult::Accepted:
                break;
            case LineResult::ChecksumMismatch:
                return image::LoadResult::ChecksumMismatch;
            case LineResult::Fault:
                return image::LoadResult::FaultyRecord;
        }
    }
    return image.firstRecord ? image::LoadResult::NoData : image::LoadResult::Loaded;
}

}  // namespace comflash::fuzz
