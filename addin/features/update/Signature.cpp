#include "addin/features/update/Signature.h"

#include <cstring>

#include "addin/features/update/PeImage.h"

namespace kv {
namespace {

bool EndsWithMagic(const std::string& file, size_t end) {
    return end >= kSignatureTrailerSize &&
           std::memcmp(file.data() + end - kSignatureMagicSize, kSignatureMagic, kSignatureMagicSize) == 0;
}

}  // namespace

bool SplitSignedFile(const std::string& file, SignedParts* parts) {
    const auto* data = reinterpret_cast<const uint8_t*>(file.data());
    AuthenticodeParts pe;
    const bool isPe = FindAuthenticodeParts(data, file.size(), &pe);
    size_t end = isPe ? static_cast<size_t>(pe.tableAt) : file.size();
    // Authenticode pads with up to 7 zero bytes before its table; the magic ends in a non-zero
    // byte, so the padding is told apart from the trailer.
    bool hasTrailer = EndsWithMagic(file, end);
    if (!hasTrailer && isPe && pe.tableSize != 0) {
        for (size_t padding = 1; padding < 8 && padding <= end && file[end - padding] == 0; ++padding) {
            if (EndsWithMagic(file, end - padding)) {
                end -= padding;
                hasTrailer = true;
                break;
            }
        }
    }
    if (hasTrailer) {
        end -= kSignatureTrailerSize;
        std::memcpy(parts->signature.data(), data + end, kP256SignatureSize);
    }
    parts->message.assign(file, 0, end);
    if (isPe) {
        // Headers lie before the end of any real image; a tiny file keeps what it has.
        if (pe.checksumAt + 4 <= end) std::memset(&parts->message[pe.checksumAt], 0, 4);
        if (pe.directoryAt + 8 <= end) std::memset(&parts->message[pe.directoryAt], 0, 8);
    }
    return hasTrailer;
}

bool HasValidSignature(const std::string& file, SignatureCheck& check) {
    SignedParts parts;
    if (!SplitSignedFile(file, &parts)) return false;
    return check.Verify(reinterpret_cast<const uint8_t*>(parts.message.data()), parts.message.size(),
                        parts.signature.data());
}

}  // namespace kv
