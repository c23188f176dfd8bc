// The item table of one search: 29 slots holding the daily picks (0-2), weekly picks (3-5),
// free results (6-8) and member results (9-28), and the summary values the result list keeps.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "addin/resources/resource.h"

namespace kv {

// Bitmap resource ids of the file-type images.
constexpr int32_t kImageWord1 = IDB_FILE_DOCUMENT, kImageWord2 = IDB_FILE_DOCUMENT_DIMMED;
constexpr int32_t kImageExcel1 = IDB_FILE_SPREADSHEET, kImageExcel2 = IDB_FILE_SPREADSHEET_DIMMED;
constexpr int32_t kImagePowerPoint1 = IDB_FILE_PRESENTATION, kImagePowerPoint2 = IDB_FILE_PRESENTATION_DIMMED;

struct TemplateItem {
    int32_t visible = 0;
    int32_t enabled = -1;  // exactly 1 lets the entry open directly
    int32_t index = 0;
    std::string fileName;
    int32_t image1 = kImageWord1;
    int32_t image2 = kImageWord2;
    std::string title;
    std::string url;
    std::string image;
    std::string link;
    int32_t flag = 0;

    void Clear() { *this = TemplateItem(); }
};

constexpr int kItemCount = 29;
constexpr int kDailyFirst = 0, kWeeklyFirst = 3, kFreeFirst = 6, kMemberFirst = 9;
constexpr int kPickSlots = 6, kFreeSlots = 3, kMemberSlots = 20;
using ItemTable = std::array<TemplateItem, kItemCount>;

struct ResultSummary {
    int32_t selected = 0;  // slot + 1 of the last-opened template, 0 for none
    int32_t freeCount = 0;
    int32_t memberCount = 0;
    int32_t moreResults = 0;
    int32_t lastRequestSucceeded = 1;
};

// Sets image1/image2 from the text after the last "." of fileName (case-sensitive).
void SetFileTypeImages(TemplateItem* item);

}  // namespace kv
