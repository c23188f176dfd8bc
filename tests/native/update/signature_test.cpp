// Signed libraries through libcrypto: a file signed by the key passes, every other file fails;
// and the portable SHA-256 of the download record agrees with libcrypto's.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <functional>

#include "UpdateDoubles.h"
#include "addin/features/update/Sha256.h"
#include "addin/features/update/Signature.h"
#include "tools/kvsign/Signer.h"

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
        {"first byte changed",
         [&] {
             std::string f = signedLibrary;
             f[0] ^= 1;
             return f;
         }},
        {"a middle byte changed",
         [&] {
             std::string f = signedLibrary;
             f[0x250] ^= 0x80;
             return f;
         }},
        {"last signed byte changed",
         [&] {
             std::string f = signedLibrary;
             f[library.size() - 1] ^= 1;
             return f;
         }},
        {"r changed",
         [&] {
             std::string f = signedLibrary;
             f[library.size()] ^= 1;
             return f;
         }},
        {"s changed",
         [&] {
             std::string f = signedLibrary;
             f[library.size() + 63] ^= 1;
             return f;
         }},
        {"magic changed",
         [&] {
             std::string f = signedLibrary;
             f[f.size() - 1] ^= 1;
             return f;
         }},
        {"last byte cut", [&] { return signedLibrary.substr(0, signedLibrary.size() - 1); }},
        {"cut inside the image", [&] { return signedLibrary.substr(0, 0x200) + signedLibrary.substr(library.size()); }},
        {"a byte appended", [&] { return signedLibrary + "x"; }},
        {"a valid signature over a different file", [&] { return library + signedOther.substr(otherFile.size()); }},
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

// What Authenticode signing does to a file: zero padding to eight bytes, its certificate table
// appended, the header's certificate-table entry pointed at it and the CheckSum rewritten.
std::string WithCertificateTable(std::string file, const std::string& table) {
    file.append((8 - file.size() % 8) % 8, '\0');
    test::Put32(file, test::kOptional + 64, 0x5A17C0DE);
    test::Put32(file, test::kOptional + 112 + 4 * 8, static_cast<uint32_t>(file.size()));
    test::Put32(file, test::kOptional + 112 + 4 * 8 + 4, static_cast<uint32_t>(table.size()));
    return file + table;
}

// The shipped order: trailer first, Authenticode over it. The trailer holds whatever the
// certificate table and the two fields Authenticode rewrites say, and nothing else may change.
TEST(Signature, TrailerUnderAuthenticode) {
    auto key = SigningKey::Generate();
    ASSERT_TRUE(key);
    auto check = MakeP256Check(key->PublicKey());
    const std::string table(40, '\x30');
    // The minimal image keeps the file at eight-byte steps (no padding); three bytes of extra
    // data after it make five bytes of padding.
    for (const std::string& image : {test::MinimalDll(), test::MinimalDll() + "xyz"}) {
        const std::string signedImage = SignFile(*key, image);
        const std::string shipped = WithCertificateTable(signedImage, table);
        const size_t tableAt = shipped.size() - table.size();
        ASSERT_TRUE(HasValidSignature(shipped, *check)) << image.size();
        // Signing the shipped file again drops the certificate table that would no longer hold
        // (ECDSA signatures differ each time; the signed bytes must not).
        const std::string resigned = SignFile(*key, shipped);
        EXPECT_EQ(resigned.substr(0, resigned.size() - kSignatureTrailerSize), image);
        EXPECT_TRUE(HasValidSignature(resigned, *check));

        struct Case {
            const char* name;
            std::function<void(std::string&)> change;
            bool valid;
        };
        const Case cases[] = {
            {"certificate table changed", [&](std::string& f) { f[tableAt + 5] ^= 1; }, true},
            {"CheckSum changed", [](std::string& f) { f[test::kOptional + 64] ^= 1; }, true},
            {"a byte of the image changed", [](std::string& f) { f[0x250] ^= 1; }, false},
            {"a byte of the trailer changed", [&](std::string& f) { f[signedImage.size() - 9] ^= 1; }, false},
            {"table entry short of the end", [](std::string& f) { test::Put32(f, test::kOptional + 148, 8); }, false},
            {"a byte appended after the table", [](std::string& f) { f += 'x'; }, false},
        };
        for (const Case& c : cases) {
            std::string f = shipped;
            c.change(f);
            EXPECT_EQ(HasValidSignature(f, *check), c.valid) << c.name << ", image of " << image.size();
        }
        if (tableAt > signedImage.size()) {
            std::string f = shipped;
            f[tableAt - 1] = 1;
            EXPECT_FALSE(HasValidSignature(f, *check)) << "a padding byte set";
        }
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
        for (size_t at = 0; at < data.size(); at += 7)
            pieces.Update(data.data() + at, std::min<size_t>(7, data.size() - at));
        const auto got = pieces.Finish();
        ASSERT_EQ(0, memcmp(got.data(), expected, 32)) << "length " << n;
        data += char(n * 31 + 7);
    }
}

}  // namespace
}  // namespace kv
