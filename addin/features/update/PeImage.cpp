#include "addin/features/update/PeImage.h"

#include <cstring>

namespace kv {
namespace {

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint16_t kFileExecutableImage = 0x0002;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint32_t kMaxSections = 96;  // the loader's own limit
constexpr uint32_t kMaxExportNames = 65536;
constexpr char kClassObjectName[] = "DllGetClassObject";

// Little-endian reads that answer false instead of reading past the end.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
    bool U16(uint64_t offset, uint16_t* value) const {
        if (!Has(offset, 2)) return false;
        *value = uint16_t(data_[offset] | data_[offset + 1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t* value) const {
        if (!Has(offset, 4)) return false;
        *value = uint32_t(data_[offset]) | uint32_t(data_[offset + 1]) << 8 | uint32_t(data_[offset + 2]) << 16 |
                 uint32_t(data_[offset + 3]) << 24;
        return true;
    }
    const uint8_t* At(uint64_t offset) const { return data_ + offset; }
    size_t size() const { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
};

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class Image {
public:
    Image(const Reader& r, uint64_t table, uint32_t count) : r_(r), table_(table), count_(count) {}

    bool Read(uint32_t i, Section* s) const {
        const uint64_t at = table_ + uint64_t(i) * 40;
        return r_.U32(at + 8, &s->virtualSize) && r_.U32(at + 12, &s->virtualAddress) && r_.U32(at + 16, &s->rawSize) &&
               r_.U32(at + 20, &s->rawOffset);
    }
    // The file offset of count bytes at rva, all inside one section's raw data and the file.
    bool Offset(uint32_t rva, uint64_t count, uint64_t* offset) const {
        for (uint32_t i = 0; i < count_; ++i) {
            Section s;
            if (!Read(i, &s)) return false;
            if (rva < s.virtualAddress) continue;
            const uint64_t into = uint64_t(rva) - s.virtualAddress;
            if (into >= s.rawSize || count > s.rawSize - into) continue;
            *offset = uint64_t(s.rawOffset) + into;
            return r_.Has(*offset, count);
        }
        return false;
    }

private:
    const Reader& r_;
    uint64_t table_;
    uint32_t count_;
};

bool NamesClassObject(const Reader& r, const Image& image, uint64_t dir) {
    uint32_t functionCount, nameCount, functions, names, ordinals;
    if (!r.U32(dir + 20, &functionCount) || !r.U32(dir + 24, &nameCount) || !r.U32(dir + 28, &functions) ||
        !r.U32(dir + 32, &names) || !r.U32(dir + 36, &ordinals)) {
        return false;
    }
    if (nameCount == 0 || nameCount > kMaxExportNames || functionCount == 0 || functionCount > kMaxExportNames) {
        return false;
    }
    uint64_t namesAt, ordinalsAt, functionsAt;
    if (!image.Offset(names, uint64_t(nameCount) * 4, &namesAt) ||
        !image.Offset(ordinals, uint64_t(nameCount) * 2, &ordinalsAt) ||
        !image.Offset(functions, uint64_t(functionCount) * 4, &functionsAt)) {
        return false;
    }
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva;
        uint64_t nameAt;
        if (!r.U32(namesAt + uint64_t(i) * 4, &nameRva)) return false;
        if (!image.Offset(nameRva, sizeof kClassObjectName, &nameAt)) continue;
        if (std::memcmp(r.At(nameAt), kClassObjectName, sizeof kClassObjectName) != 0) continue;
        // The name must lead to a function that is there.
        uint16_t index;
        uint32_t functionRva;
        if (!r.U16(ordinalsAt + uint64_t(i) * 2, &index) || index >= functionCount) return false;
        if (!r.U32(functionsAt + uint64_t(index) * 4, &functionRva)) return false;
        return functionRva != 0;
    }
    return false;
}

}  // namespace

PeVerdict CheckPeLibrary(const uint8_t* data, size_t size) {
    const Reader r(data, size);
    uint32_t peAt, signature;
    if (!r.Has(0, 0x40) || data[0] != 'M' || data[1] != 'Z' || !r.U32(0x3C, &peAt)) return PeVerdict::NotPe;
    if (!r.U32(peAt, &signature) || signature != 0x00004550) return PeVerdict::NotPe;  // "PE\0\0"
    const uint64_t fileHeader = uint64_t(peAt) + 4;
    uint16_t machine, sectionCount, optionalSize, characteristics, magic;
    if (!r.U16(fileHeader, &machine) || !r.U16(fileHeader + 2, &sectionCount) ||
        !r.U16(fileHeader + 16, &optionalSize) || !r.U16(fileHeader + 18, &characteristics)) {
        return PeVerdict::NotPe;
    }
    if (machine != kMachineAmd64) return PeVerdict::WrongMachine;
    const uint64_t optional = fileHeader + 20;
    if (!r.U16(optional, &magic)) return PeVerdict::NotPe;
    if (magic != kMagicPe32Plus) return PeVerdict::NotPe32Plus;
    if (!(characteristics & kFileDll) || !(characteristics & kFileExecutableImage)) return PeVerdict::NotDll;

    // PE32+: NumberOfRvaAndSizes at 108, the data directories from 112; the exports are first.
    uint32_t directoryCount, exportRva, exportSize;
    if (optionalSize < 112 + 8 || !r.Has(optional, optionalSize)) return PeVerdict::NotPe;
    if (!r.U32(optional + 108, &directoryCount)) return PeVerdict::NotPe;
    if (sectionCount == 0 || sectionCount > kMaxSections) return PeVerdict::BadSections;
    const uint64_t table = optional + optionalSize;
    if (!r.Has(table, uint64_t(sectionCount) * 40)) return PeVerdict::BadSections;
    const Image image(r, table, sectionCount);
    for (uint32_t i = 0; i < sectionCount; ++i) {
        Section s;
        if (!image.Read(i, &s) || !r.Has(s.rawOffset, s.rawSize)) return PeVerdict::BadSections;
    }
    // The COFF symbols and their string table, when the file has them, come after the
    // sections: a file cut anywhere inside them is a truncated download too.
    uint32_t symbolsAt, symbolCount, stringsSize;
    if (!r.U32(fileHeader + 8, &symbolsAt) || !r.U32(fileHeader + 12, &symbolCount)) return PeVerdict::NotPe;
    if (symbolsAt != 0) {
        const uint64_t strings = uint64_t(symbolsAt) + uint64_t(symbolCount) * 18;
        if (!r.U32(strings, &stringsSize) || !r.Has(strings, stringsSize)) return PeVerdict::BadSections;
    }
    if (directoryCount < 1 || !r.U32(optional + 112, &exportRva) || !r.U32(optional + 116, &exportSize)) {
        return PeVerdict::NoExports;
    }
    uint64_t exportAt;
    if (exportRva == 0 || exportSize < 40 || !image.Offset(exportRva, 40, &exportAt)) return PeVerdict::NoExports;
    return NamesClassObject(r, image, exportAt) ? PeVerdict::Accepted : PeVerdict::NoClassObject;
}

bool FindAuthenticodeParts(const uint8_t* data, size_t size, AuthenticodeParts* parts) {
    constexpr uint16_t kMagicPe32 = 0x10B;
    constexpr uint32_t kCertificateDirectory = 4;
    const Reader r(data, size);
    uint32_t peAt, signature, directoryCount, tableAt, tableSize;
    uint16_t optionalSize, magic;
    if (!r.Has(0, 0x40) || data[0] != 'M' || data[1] != 'Z' || !r.U32(0x3C, &peAt)) return false;
    if (!r.U32(peAt, &signature) || signature != 0x00004550) return false;
    const uint64_t optional = uint64_t(peAt) + 24;
    if (!r.U16(uint64_t(peAt) + 20, &optionalSize) || !r.U16(optional, &magic)) return false;
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
    // The directory count and the directories sit 16 bytes further in PE32+ (64-bit ImageBase
    // and stack and heap sizes); CheckSum is at 64 in both.
    const uint64_t countAt = optional + (magic == kMagicPe32Plus ? 108 : 92);
    const uint64_t directoryAt = countAt + 4 + kCertificateDirectory * 8;
    if (!r.Has(optional, optionalSize) || directoryAt + 8 > optional + optionalSize) return false;
    if (!r.U32(countAt, &directoryCount) || directoryCount <= kCertificateDirectory) return false;
    if (!r.U32(directoryAt, &tableAt) || !r.U32(directoryAt + 4, &tableSize)) return false;
    parts->checksumAt = optional + 64;
    parts->directoryAt = directoryAt;
    const bool atEnd = tableSize != 0 && tableAt != 0 && uint64_t(tableAt) + tableSize == size;
    parts->tableAt = atEnd ? tableAt : size;
    parts->tableSize = atEnd ? tableSize : 0;
    return true;
}

const char* PeVerdictName(PeVerdict verdict) {
    switch (verdict) {
        case PeVerdict::Accepted: return "accepted";
        case PeVerdict::NotPe: return "not a PE file";
        case PeVerdict::WrongMachine: return "not x64";
        case PeVerdict::NotPe32Plus: return "not PE32+";
        case PeVerdict::NotDll: return "not a DLL";
        case PeVerdict::BadSections: return "sections outside the file";
        case PeVerdict::NoExports: return "no export directory";
        case PeVerdict::NoClassObject: return "no DllGetClassObject export";
    }
    return "?";
}

}  // namespace kv
