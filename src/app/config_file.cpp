#include "app/config_file.h"

namespace comflash::app {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void splitLine(std::string_view line, std::vector<std::string>& items) {
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i])) ++i;
        std::string item;
        if (i < line.size() && line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            item = std::string(line.substr(i + 1, close - (i + 1)));
            i = close == std::string_view::npos ? line.size() : close + 1;
            while (i < line.size() && line[i] != ',') ++i;
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ',') ++i;
            std::size_t end = i;
            while (end > start && isBlank(line[end - 1])) --end;
            item = std::string(line.substr(start, end - start));
        }
        items.push_back(std::move(item));
        if (i >= line.size()) return;
        ++i;  // the comma
        // A comma that ends the line separates this item from the next line's first one:
        // the line end after it is no second separator.
        if (line.find_first_not_of(" \t", i) == std::string_view::npos) return;
    }
}

}  // namespace

std::vector<std::string> splitConfigItems(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (line.find_first_not_of(" \t") != std::string_view::npos) splitLine(line, items);
        if (end == std::string_view::npos) break;
        // CR LF, LF and a lone CR each end a line.
        const std::size_t next =
            (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? end + 2
                                                                                  : end + 1;
        text.remove_prefix(next);
    }
    return items;
}

std::vector<std::string> splitModelParts(std::string_view model) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t colon = model.find(':', from);
        parts.emplace_back(model.substr(from, colon - from));
        if (colon == std::string_view::npos) return parts;
        from = colon + 1;
    }
}

}  // namespace comflash::app
