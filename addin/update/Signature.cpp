#include "addin/update/Signature.h"

#include <cstring>

namespace kv {

bool SplitSignedFile(const std::string& file, size_t* signedSize, const uint8_t** signature) {
    if (file.size() < kSignatureTrailerSize) return false;
    const size_t at = file.size() - kSignatureTrailerSize;
    if (std::memcmp(file.data() + at + kP256SignatureSize, kSignatureMagic, kSignatureMagicSize) != 0) return false;
    *signedSize = at;
    *signature = reinterpret_cast<const uint8_t*>(file.data()) + at;
    return true;
}

bool HasValidSignature(const std::string& file, SignatureCheck& check) {
    size_t signedSize;
    const uint8_t* signature;
    if (!SplitSignedFile(file, &signedSize, &signature)) return false;
    return check.Verify(reinterpret_cast<const uint8_t*>(file.data()), signedSize, signature);
}

}  // namespace kv
