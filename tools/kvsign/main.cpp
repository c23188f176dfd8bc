// kvsign: the build's signing tool for the add-in library.
//   kvsign key KEYFILE SOURCE    make KEYFILE (a new P-256 key, owner-only) unless it exists,
//                                and write SOURCE, the C++ definition of its public key
//                                (rewritten only when it changes)
//   kvsign sign KEYFILE FILE     sign FILE in place (an old signature trailer is replaced)
//   kvsign verify KEYFILE FILE   exit 0 when FILE carries a valid signature of KEYFILE's key
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/kvsign/Signer.h"

namespace {

bool ReadFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return !in.bad();
}

// Written beside and renamed over, so a failed write never leaves a half file under the name.
bool WriteFile(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    const std::string temporary = path + ".kvsign-tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (chmod(temporary.c_str(), mode) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<kv::SigningKey> LoadKey(const std::string& path) {
    std::string pem;
    if (!ReadFile(path, &pem)) {
        std::cerr << "kvsign: cannot read key " << path << "\n";
        return nullptr;
    }
    auto key = kv::SigningKey::FromPem(pem);
    if (!key) std::cerr << "kvsign: " << path << " is not a P-256 private key\n";
    return key;
}

int Key(const std::string& keyPath, const std::string& sourcePath) {
    struct stat st;
    if (stat(keyPath.c_str(), &st) != 0) {
        auto key = kv::SigningKey::Generate();
        const std::string pem = key ? key->Pem() : std::string();
        if (pem.empty() || !WriteFile(keyPath, pem, 0600)) {
            std::cerr << "kvsign: cannot make key " << keyPath << "\n";
            return 1;
        }
        std::cerr << "kvsign: new development signing key " << keyPath << "\n";
    }
    auto key = LoadKey(keyPath);
    if (!key) return 1;
    const std::string source = kv::PublicKeySource(key->PublicKey());
    std::string old;
    if (ReadFile(sourcePath, &old) && old == source) return 0;
    if (!WriteFile(sourcePath, source)) {
        std::cerr << "kvsign: cannot write " << sourcePath << "\n";
        return 1;
    }
    return 0;
}

int Sign(const std::string& keyPath, const std::string& filePath) {
    auto key = LoadKey(keyPath);
    if (!key) return 1;
    std::string file;
    if (!ReadFile(filePath, &file) || file.empty()) {
        std::cerr << "kvsign: cannot read " << filePath << "\n";
        return 1;
    }
    const std::string signedFile = kv::SignFile(*key, file);
    if (signedFile.empty() || !WriteFile(filePath, signedFile, 0755)) {
        std::cerr << "kvsign: cannot sign " << filePath << "\n";
        return 1;
    }
    return 0;
}

int Verify(const std::string& keyPath, const std::string& filePath) {
    auto key = LoadKey(keyPath);
    if (!key) return 1;
    std::string file;
    if (!ReadFile(filePath, &file)) {
        std::cerr << "kvsign: cannot read " << filePath << "\n";
        return 1;
    }
    auto check = kv::MakeP256Check(key->PublicKey());
    if (!kv::HasValidSignature(file, *check)) {
        std::cerr << "kvsign: " << filePath << ": no valid signature\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4) {
        const std::string command = argv[1];
        if (command == "key") return Key(argv[2], argv[3]);
        if (command == "sign") return Sign(argv[2], argv[3]);
        if (command == "verify") return Verify(argv[2], argv[3]);
    }
    std::cerr << "usage: kvsign key KEYFILE SOURCE | sign KEYFILE FILE | verify KEYFILE FILE\n";
    return 2;
}
