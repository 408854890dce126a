#include "ui/qt/catalogue_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace comflash::ui::qt {

QFont catalogueFont(const Font& font) {
    QStringList families{
        QString::fromUtf8(font.family.data(), static_cast<qsizetype>(font.family.size()))};
    families += QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QFont result;
    result.setFamilies(families);
    result.setPointSizeF(font.points);
    result.setBold(font.bold);
    return result;
}

}  // namespace comflash::ui::qt
