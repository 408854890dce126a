#include "image/firmware_image.h"

namespace comflash::image {

void FillFirmwareImage(ImageBytes& image) {
    for (std::size_t index = 0; index <= kLastFilledIndex; ++index) {
        image[index] = FillByte(index);
    }
}

}  // namespace comflash::image
