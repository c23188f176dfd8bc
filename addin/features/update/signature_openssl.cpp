// ECDSA P-256 verification through libcrypto (OpenSSL 3), for the native build and its tests.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include "addin/features/update/Signature.h"
#include "platform/UniqueResource.h"

namespace kv {
namespace {

using UniquePkey = UniqueResource<EVP_PKEY*, decltype(&EVP_PKEY_free), &EVP_PKEY_free>;
using UniquePkeyContext = UniqueResource<EVP_PKEY_CTX*, decltype(&EVP_PKEY_CTX_free), &EVP_PKEY_CTX_free>;
using UniqueParamBuild = UniqueResource<OSSL_PARAM_BLD*, decltype(&OSSL_PARAM_BLD_free), &OSSL_PARAM_BLD_free>;
using UniqueParams = UniqueResource<OSSL_PARAM*, decltype(&OSSL_PARAM_free), &OSSL_PARAM_free>;
using UniqueDigestContext = UniqueResource<EVP_MD_CTX*, decltype(&EVP_MD_CTX_free), &EVP_MD_CTX_free>;
using UniqueEcdsaSig = UniqueResource<ECDSA_SIG*, decltype(&ECDSA_SIG_free), &ECDSA_SIG_free>;

// An EVP key from the raw X | Y point; empty when libcrypto refuses the point.
UniquePkey ImportPoint(const P256PublicKey& key) {
    unsigned char point[1 + kP256PublicKeySize];
    point[0] = 0x04;  // uncompressed
    std::copy(key.begin(), key.end(), point + 1);
    UniqueParamBuild build(OSSL_PARAM_BLD_new());
    if (!build || !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point)) {
        return UniquePkey();
    }
    UniqueParams params(OSSL_PARAM_BLD_to_param(build.get()));
    UniquePkeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        return UniquePkey();
    }
    UniquePkey owned(pkey);
    // fromdata takes any bytes; the point must be on the curve.
    UniquePkeyContext check(EVP_PKEY_CTX_new_from_pkey(nullptr, owned.get(), nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) return UniquePkey();
    return owned;
}

class OpenSslP256Check final : public SignatureCheck {
public:
    explicit OpenSslP256Check(const P256PublicKey& key) : key_(ImportPoint(key)) {}

    bool Verify(const uint8_t* message, size_t size, const uint8_t* signature) override {
        if (!key_) return false;
        // libcrypto wants DER; the raw r | s is converted, its values checked by the verify.
        UniqueEcdsaSig sig(ECDSA_SIG_new());
        if (!sig) return false;
        BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
        BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
        if (!r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
            BN_free(r);
            BN_free(s);
            return false;
        }
        unsigned char* der = nullptr;
        const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
        if (derSize <= 0) return false;
        UniqueResource<unsigned char*, void (*)(unsigned char*), &FreeDer> derOwner(der);
        UniqueDigestContext context(EVP_MD_CTX_new());
        if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1) {
            return false;
        }
        return EVP_DigestVerify(context.get(), der, derSize, message, size) == 1;
    }

private:
    static void FreeDer(unsigned char* der) { OPENSSL_free(der); }
    UniquePkey key_;
};

}  // namespace

std::unique_ptr<SignatureCheck> MakeP256Check(const P256PublicKey& key) {
    return std::make_unique<OpenSslP256Check>(key);
}

}  // namespace kv
