// Signed libraries. The library arrives over plain HTTP and is then loaded into every host, so
// a download counts only with a valid ECDSA P-256 signature over SHA-256 by the key whose
// public half is built into the running library.
//
// The signature travels appended to the library, in a trailer of 72 bytes at the very end:
//   r (32 bytes, big-endian) | s (32 bytes, big-endian) | "KvSig256"
// and signs every byte before the trailer. Appended rather than served beside the library:
// the service has one address for the new library, the download stays one exchange, and the
// file on disk carries its own proof whichever name it has at the moment. The loader ignores
// bytes after the last section, so the signed file loads as it is.
//
// The shipped library also carries an Authenticode signature, made after the trailer: it signs
// the file with the trailer in it, pads the file to eight bytes and appends its certificate
// table, rewriting the header's CheckSum and certificate-table entry. (The other order cannot
// work: bytes after the certificate table break Authenticode.) So the trailer signs a PE file as
// Authenticode leaves it out: without the certificate table and that padding, with those two
// header fields read as zero. A file without Authenticode is checked the same way.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv {

constexpr size_t kP256PublicKeySize = 64;  // X | Y, big-endian
constexpr size_t kP256SignatureSize = 64;  // r | s, big-endian
constexpr char kSignatureMagic[] = "KvSig256";
constexpr size_t kSignatureMagicSize = 8;
constexpr size_t kSignatureTrailerSize = kP256SignatureSize + kSignatureMagicSize;

using P256PublicKey = std::array<uint8_t, kP256PublicKeySize>;

// A file taken apart for the trailer check.
struct SignedParts {
    std::string message;  // what the trailer signs (see above)
    std::array<uint8_t, kP256SignatureSize> signature{};
};
// Fills parts->message also for a file without a trailer (what signing it would sign); false
// when the file has no trailer.
bool SplitSignedFile(const std::string& file, SignedParts* parts);

// Checks ECDSA P-256 signatures over SHA-256 of a message against one public key.
class SignatureCheck {
public:
    virtual ~SignatureCheck() = default;
    virtual bool Verify(const uint8_t* message, size_t size, const uint8_t* signature) = 0;
};

// The platform's implementation (CNG on Windows, libcrypto elsewhere). It never fails to
// construct: a key the platform refuses makes every Verify false.
std::unique_ptr<SignatureCheck> MakeP256Check(const P256PublicKey& key);

// True when file ends in a trailer whose signature check accepts the bytes before it.
bool HasValidSignature(const std::string& file, SignatureCheck& check);

// The key updates must be signed with: generated at build time, the private half kept under
// the build folder (UpdatePublicKey.cpp is written there by kvsign).
extern const P256PublicKey kUpdatePublicKey;

}  // namespace kv
