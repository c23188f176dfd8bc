// The installation's identity, sent with almost every request to the service.
#pragma once
#include <string>

namespace kv {

constexpr char kAddinVersion[] = "0.9.96.6";
constexpr char kDefaultDistributionCode[] = "kv5830146927713";
constexpr char kSettingsKey[] = "SOFTWARE\\kestrovaSE\\1.0.0";
constexpr char kUserSettingsKey[] = "Software\\kestrovaSE\\1.0.0";

struct Identity {
    std::string installId;         // braced upper-case UUID text; empty until read
    std::string distributionCode;  // at most 15 characters
    bool paneVisibleAtStart = true;
};

}  // namespace kv
