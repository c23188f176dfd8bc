#include "tools/kvsign/Signer.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>

#include "platform/UniqueResource.h"

namespace kv {
namespace {

using UniquePkey = UniqueResource<EVP_PKEY*, decltype(&EVP_PKEY_free), &EVP_PKEY_free>;
using UniqueBio = UniqueResource<BIO*, decltype(&BIO_free_all), &BIO_free_all>;
using UniqueDigestContext = UniqueResource<EVP_MD_CTX*, decltype(&EVP_MD_CTX_free), &EVP_MD_CTX_free>;
using UniqueEcdsaSig = UniqueResource<ECDSA_SIG*, decltype(&ECDSA_SIG_free), &ECDSA_SIG_free>;

bool IsP256(EVP_PKEY* key) {
    char group[64] = {0};
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

}  // namespace

struct SigningKey::Impl {
    UniquePkey key;
};

SigningKey::SigningKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SigningKey::~SigningKey() = default;
SigningKey::SigningKey(SigningKey&&) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&&) noexcept = default;

std::unique_ptr<SigningKey> SigningKey::Generate() {
    auto impl = std::make_unique<Impl>();
    impl->key.reset(EVP_EC_gen("prime256v1"));
    if (!impl->key) return nullptr;
    return std::unique_ptr<SigningKey>(new SigningKey(std::move(impl)));
}

std::unique_ptr<SigningKey> SigningKey::FromPem(const std::string& pem) {
    UniqueBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!impl->key || !IsP256(impl->key.get())) return nullptr;
    return std::unique_ptr<SigningKey>(new SigningKey(std::move(impl)));
}

std::string SigningKey::Pem() const {
    UniqueBio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), impl_->key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return std::string();
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

P256PublicKey SigningKey::PublicKey() const {
    P256PublicKey key{};
    unsigned char point[1 + kP256PublicKeySize];
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(impl_->key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &length) == 1 &&
        length == sizeof point && point[0] == 0x04) {
        std::memcpy(key.data(), point + 1, key.size());
    }
    return key;
}

bool SigningKey::Sign(const uint8_t* message, size_t size, uint8_t* signature) const {
    UniqueDigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, impl_->key.get()) != 1) {
        return false;
    }
    size_t derSize = 0;
    if (EVP_DigestSign(context.get(), nullptr, &derSize, message, size) != 1) return false;
    std::string der(derSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(&der[0]);
    if (EVP_DigestSign(context.get(), out, &derSize, message, size) != 1) return false;
    const unsigned char* in = out;
    UniqueEcdsaSig sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(derSize)));
    if (!sig) return false;
    const BIGNUM* r = ECDSA_SIG_get0_r(sig.get());
    const BIGNUM* s = ECDSA_SIG_get0_s(sig.get());
    return BN_bn2binpad(r, signature, 32) == 32 && BN_bn2binpad(s, signature + 32, 32) == 32;
}

std::string SignFile(const SigningKey& key, const std::string& file) {
    // The message is the file as the trailer signs it: an old trailer and an Authenticode
    // signature (which would no longer hold) are gone, their header fields zero.
    SignedParts parts;
    SplitSignedFile(file, &parts);
    uint8_t signature[kP256SignatureSize];
    if (!key.Sign(reinterpret_cast<const uint8_t*>(parts.message.data()), parts.message.size(), signature)) {
        return std::string();
    }
    std::string out = std::move(parts.message);
    out.append(reinterpret_cast<const char*>(signature), sizeof signature);
    out.append(kSignatureMagic, kSignatureMagicSize);
    return out;
}

std::string PublicKeySource(const P256PublicKey& key) {
    std::string text =
        "// Written by kvsign from the build's signing key; not to be edited or committed.\n"
        "#include \"addin/features/update/Signature.h\"\n\n"
        "namespace kv {\n\nconst P256PublicKey kUpdatePublicKey = {";
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < key.size(); ++i) {
        text += (i % 8 == 0) ? "\n    " : " ";
        text += "0x";
        text += kDigits[key[i] >> 4];
        text += kDigits[key[i] & 15];
        text += ",";
    }
    text += "\n};\n\n}  // namespace kv\n";
    return text;
}

}  // namespace kv
