#pragma once
// File-level atoms: file type 'ftyp', the JPEG 2000 signature "jP  " and header 'jp2h' (with
// 'ihdr', 'bpcc', 'colr'), and the 'cprt' notice of user data.

#include "isomedia/MP4Atoms.h"

struct MP4FileTypeAtom : MP4Atom {
    uint32_t brand = MP4FourCC("isom");
    uint32_t minorVersion = 0;
    std::vector<uint32_t> compatibilityList{MP4FourCC("isom"), MP4FourCC("isom")};

    MP4FileTypeAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addStandard(uint32_t standard);
    // Also makes the brand the first compatible brand.
    MP4Err setBrand(uint32_t newBrand, uint32_t newMinorVersion);
    MP4Err getBrand(uint32_t* outBrand, uint32_t* outMinorVersion);
    // The brand when it is among the compatible brands, else 0.
    uint32_t getStandard(uint32_t standard);
};

struct MP4JPEG2000SignatureAtom : MP4Atom {
    uint32_t signature = 0x0D0A870A;

    MP4JPEG2000SignatureAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4JPEG2000ImageHeaderAtom;
struct MP4JPEG2000BitsPerComponentAtom;
struct MP4JPEG2000ColorSpecificationAtom;

struct MP4JPEG2000HeaderAtom : MP4ContainerAtom {
    MP4JPEG2000ImageHeaderAtom* imageHeader = nullptr;
    MP4JPEG2000BitsPerComponentAtom* bitsPerComponent = nullptr;
    MP4JPEG2000ColorSpecificationAtom* colorSpecification = nullptr;

    MP4JPEG2000HeaderAtom();
    MP4Err addAtom(MP4Atom* atom) override;
};

struct MP4JPEG2000ImageHeaderAtom : MP4Atom {
    uint32_t height = 0;
    uint32_t width = 0;
    uint32_t compCount = 0;
    uint32_t compBits = 0;
    uint32_t compressionType = 0;
    uint32_t colorspaceKnown = 0;
    uint32_t ip = 0;

    MP4JPEG2000ImageHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4JPEG2000BitsPerComponentAtom : MP4Atom {
    std::vector<uint8_t> bitsPerComponent{0};

    MP4JPEG2000BitsPerComponentAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addComponent(uint8_t value);
};

struct MP4JPEG2000ColorSpecificationAtom : MP4Atom {
    uint32_t method = 1;
    uint32_t precedence = 0;
    uint32_t approx = 0;
    uint32_t enumCS = 0;
    std::vector<char> profile;

    MP4JPEG2000ColorSpecificationAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4CopyrightAtom : MP4FullAtom {
    uint32_t packedLanguageCode = 0;
    std::string notice;

    MP4CopyrightAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

MP4Err MP4CreateMJ2FileTypeAtom(MP4FileTypeAtom** outAtom);
MP4Err MP4CreateMJ2SignatureAtom(MP4JPEG2000SignatureAtom** outAtom);
MP4Err MP4CreateMJ2HeaderAtom(MP4JPEG2000HeaderAtom** outAtom);
MP4Err MP4CreateMJ2ImageHeaderAtom(MP4JPEG2000ImageHeaderAtom** outAtom);
MP4Err MP4CreateMJ2BitsPerComponentAtom(MP4JPEG2000BitsPerComponentAtom** outAtom);
MP4Err MP4CreateMJ2ColorSpecificationAtom(MP4JPEG2000ColorSpecificationAtom** outAtom);
MP4Err MP4CreateCprtAtom(MP4CopyrightAtom** outAtom);
