// Signed libraries through libcrypto: a file signed by the key passes, every other file fails;
// and the portable SHA-256 of the download record agrees with libcrypto's.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <functional>

#include "addin/update/Sha256.h"
#include "addin/update/Signature.h"
#include "tools/kvsign/Signer.h"
#include "UpdateDoubles.h"

namespace kv {
namespace {

TEST(Signature, SignedAcceptedEverythingElseRefused) {
    auto key = SigningKey::Generate();
    auto other = SigningKey::Generate();
    ASSERT_TRUE(key && other);
    auto check = MakeP256Check(key->PublicKey());
    const std::string library = test::MinimalDll();
    const std::string signedLibrary = SignFile(*key, library);
    ASSERT_EQ(signedLibrary.size(), library.size() + kSignatureTrailerSize);
    EXPECT_TRUE(HasValidSignature(signedLibrary, *check));
    // Signing again replaces the trailer instead of signing the old one.
    EXPECT_EQ(SignFile(*key, signedLibrary).size(), signedLibrary.size());
    EXPECT_TRUE(HasValidSignature(SignFile(*key, signedLibrary), *check));

    std::string otherFile = library;
    otherFile[0x300] = 'x';
    const std::string signedOther = SignFile(*key, otherFile);

    struct Case {
        const char* name;
        std::function<std::string()> file;
    };
    const Case cases[] = {
        {"unsigned", [&] { return library; }},
        {"empty", [] { return std::string(); }},
        {"trailer only", [&] { return signedLibrary.substr(library.size()); }},
        {"signed by another key", [&] { return SignFile(*other, library); }},
        {"first byte changed", [&] { std::string f = signedLibrary; f[0] ^= 1; return f; }},
        {"a middle byte changed", [&] { std::string f = signedLibrary; f[0x250] ^= 0x80; return f; }},
        {"last signed byte changed", [&] { std::string f = signedLibrary; f[library.size() - 1] ^= 1; return f; }},
        {"r changed", [&] { std::string f = signedLibrary; f[library.size()] ^= 1; return f; }},
        {"s changed", [&] { std::string f = signedLibrary; f[library.size() + 63] ^= 1; return f; }},
        {"magic changed", [&] { std::string f = signedLibrary; f[f.size() - 1] ^= 1; return f; }},
        {"last byte cut", [&] { return signedLibrary.substr(0, signedLibrary.size() - 1); }},
        {"cut inside the image", [&] { return signedLibrary.substr(0, 0x200) + signedLibrary.substr(library.size()); }},
        {"a byte appended", [&] { return signedLibrary + "x"; }},
        {"a valid signature over a different file",
         [&] { return library + signedOther.substr(otherFile.size()); }},
        {"zero signature", [&] { return library + std::string(64, '\0') + kSignatureMagic; }},
    };
    for (const Case& c : cases) EXPECT_FALSE(HasValidSignature(c.file(), *check)) << c.name;
}

TEST(Signature, KeysThatAreNoPointRefuseEverything) {
    auto key = SigningKey::Generate();
    const std::string signedLibrary = SignFile(*key, test::MinimalDll());
    P256PublicKey offCurve = key->PublicKey();
    offCurve[63] ^= 1;
    P256PublicKey zero{};
    for (const P256PublicKey& bad : {offCurve, zero}) {
        EXPECT_FALSE(HasValidSignature(signedLibrary, *MakeP256Check(bad)));
    }
}

TEST(Sha256, AgreesWithLibcrypto) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // Every length across the padding boundaries, fed whole and in uneven pieces.
    std::string data;
    for (int n = 0; n < 300; ++n) {
        unsigned char expected[32];
        SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), expected);
        Sha256 pieces;
        for (size_t at = 0; at < data.size(); at += 7) pieces.Update(data.data() + at, std::min<size_t>(7, data.size() - at));
        const auto got = pieces.Finish();
        ASSERT_EQ(0, memcmp(got.data(), expected, 32)) << "length " << n;
        data += char(n * 31 + 7);
    }
}

}  // namespace
}  // namespace kv
