// ECDSA P-256 verification through CNG: the key imported as a BCRYPT_ECCPUBLIC_BLOB, the
// message hashed with SHA-256 and the raw r | s checked by BCryptVerifySignature.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "addin/features/update/Signature.h"
#include "platform/UniqueResource.h"

namespace kv {
namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE h) {
    ::BCryptCloseAlgorithmProvider(h, 0);
}
void DestroyKey(BCRYPT_KEY_HANDLE h) {
    ::BCryptDestroyKey(h);
}
void DestroyHash(BCRYPT_HASH_HANDLE h) {
    ::BCryptDestroyHash(h);
}
using UniqueAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, decltype(&CloseAlgorithm), &CloseAlgorithm>;
using UniqueCngKey = UniqueResource<BCRYPT_KEY_HANDLE, decltype(&DestroyKey), &DestroyKey>;
using UniqueCngHash = UniqueResource<BCRYPT_HASH_HANDLE, decltype(&DestroyHash), &DestroyHash>;

bool Ok(NTSTATUS status) {
    return status >= 0;
}

bool Sha256Digest(const uint8_t* message, size_t size, UCHAR (&digest)[32]) {
    UniqueAlgorithm algorithm;
    if (!Ok(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    UniqueCngHash hash;
    if (!Ok(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) return false;
    // BCryptHashData takes a ULONG count: feed large files in steps.
    while (size > 0) {
        const ULONG step = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!Ok(::BCryptHashData(hash.get(), const_cast<PUCHAR>(message), step, 0))) return false;
        message += step;
        size -= step;
    }
    return Ok(::BCryptFinishHash(hash.get(), digest, sizeof digest, 0));
}

class CngP256Check final : public SignatureCheck {
public:
    explicit CngP256Check(const P256PublicKey& key) {
        if (!Ok(::BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return;
        UCHAR blob[sizeof(BCRYPT_ECCKEY_BLOB) + kP256PublicKeySize];
        BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, key.data(), key.size());
        if (!Ok(::BCryptImportKeyPair(algorithm_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key_.put(), blob, sizeof blob,
                                      0))) {
            key_.reset();
        }
    }

    bool Verify(const uint8_t* message, size_t size, const uint8_t* signature) override {
        if (!key_) return false;
        UCHAR digest[32];
        if (!Sha256Digest(message, size, digest)) return false;
        return ::BCryptVerifySignature(key_.get(), nullptr, digest, sizeof digest, const_cast<PUCHAR>(signature),
                                       static_cast<ULONG>(kP256SignatureSize), 0) == 0;  // STATUS_SUCCESS
    }

private:
    // The provider is declared first, so it outlives the key made from it.
    UniqueAlgorithm algorithm_;
    UniqueCngKey key_;
};

}  // namespace

std::unique_ptr<SignatureCheck> MakeP256Check(const P256PublicKey& key) {
    return std::make_unique<CngP256Check>(key);
}

}  // namespace kv
