#include "read_back_file.h"

#include <QSaveFile>
#include <cstdint>

namespace comflash::cli {

namespace {

constexpr std::size_t kSavedBytes = 0x8000;
constexpr std::size_t kBlock = 32;
constexpr unsigned kAddressOffset = 0x8000;

void hexByte(std::string& text, unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[(value >> 4) & 0xF];
    text += kDigits[value & 0xF];
}

}  // namespace

std::string readBackText(const ImageBytes& image) {
    std::string text;
    for (std::size_t base = 0; base < kSavedBytes; base += kBlock) {
        std::size_t start = base;
        while (start < base + kBlock && image[start] == 0x00) ++start;
        if (start == base + kBlock) continue;
        const auto count = static_cast<unsigned>(base + kBlock - start);
        const unsigned address = static_cast<unsigned>(start) + kAddressOffset;
        unsigned sum = count + (address >> 8) + (address & 0xFF);
        text += ':';
        hexByte(text, count);
        hexByte(text, address >> 8);
        hexByte(text, address & 0xFF);
        hexByte(text, 0x00);
        for (std::size_t i = start; i < base + kBlock; ++i) {
            hexByte(text, image[i]);
            sum += image[i];
        }
        hexByte(text, (256 - sum % 256) % 256);
        text += "\n\r";
    }
    return text;
}

bool saveReadBack(const ImageBytes& image, const std::string& path, std::string& failure) {
    QSaveFile file(QString::fromStdString(path));
    const std::string text = readBackText(image);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        failure = file.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace comflash::cli
