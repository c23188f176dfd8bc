// Signing of libraries with ECDSA P-256 over SHA-256, in the trailer format of
// addin/features/update/Signature.h, through OpenSSL's libcrypto. Used by kvsign and by the tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "addin/features/update/Signature.h"

namespace kv {

class SigningKey {
public:
    ~SigningKey();
    SigningKey(SigningKey&&) noexcept;
    SigningKey& operator=(SigningKey&&) noexcept;

    // A fresh P-256 key; null on failure.
    static std::unique_ptr<SigningKey> Generate();
    // From PEM text (PKCS#8 or SEC1); null when it is not a P-256 private key.
    static std::unique_ptr<SigningKey> FromPem(const std::string& pem);

    std::string Pem() const;
    P256PublicKey PublicKey() const;
    // The raw r | s signature of SHA-256(message); false on failure.
    bool Sign(const uint8_t* message, size_t size, uint8_t* signature) const;

private:
    struct Impl;
    explicit SigningKey(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// file with any trailer it had removed, then signed and given a new trailer. Empty on failure.
std::string SignFile(const SigningKey& key, const std::string& file);

// The C++ source that defines kv::kUpdatePublicKey as key.
std::string PublicKeySource(const P256PublicKey& key);

}  // namespace kv
