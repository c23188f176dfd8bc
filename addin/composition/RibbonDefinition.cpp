#include "addin/composition/RibbonDefinition.h"

#include <array>

#include "addin/base/com/ComServer.h"
#include "addin/resources/resource.h"
#include "platform/WinHandles.h"

namespace kv {

const wchar_t kRibbonDefinition[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnRibbonLoad\">"
    L"<ribbon><tabs>"
    L"<tab id=\"CustomTab\" label=\"케스트로바서식\">"
    L"<group id=\"groupsearch\" label=\"서식 검색\">"
    L"<box id=\"Box0\" boxStyle=\"vertical\">"
    L"<labelControl id=\"FirstName2\" label=\"케스트로바 서식 검색 \"/>"
    L"<box id=\"Box2\" boxStyle=\"horizontal\">"
    L"<editBox id=\"EditBox1\" getText=\"ThisDocument.EditBox1\" screentip=\"검색어를 입력하세요\" "
    L"sizeString=\"WWWWWWWWWWWWWWWWWWWW\" onChange=\"changeSearchText\"/>"
    L"<button id=\"CustomButton\" getImage=\"GetImageCustomButton\" onAction=\"ButtonClicked\"/>"
    L"</box>"
    L"<labelControl id=\"FirstName\" label=\" \"/>"
    L"</box>"
    L"<button id=\"btnSearchlist\" label=\"검색창열기\" imageMso=\"FileWorkflowTasks\" size=\"large\" "
    L"getVisible=\"putVisiblePaneAllways\" onAction=\"putVisiblePaneAllways\"/>"
    L"<dialogBoxLauncher><button id=\"VariablesLauncher\" onAction=\"putVisiblePane\"/></dialogBoxLauncher>"
    L"</group>"
    L"<group id=\"groupcert\" label=\"회원인증\">"
    L"<button id=\"cert\" label=\"회원인증\" getImage=\"GetImageCert\" size=\"large\" onAction=\"ButtonCert\"/>"
    L"<button id=\"pay\" label=\"유료전환\" getImage=\"GetImagePay\" size=\"large\" onAction=\"ButtonPremium\"/>"
    L"</group>"
    L"<group id=\"grouphelp\" label=\"케스트로바\">"
    L"<button id=\"homepage\" label=\"바로가기\" getImage=\"GetImageHomepage\" size=\"large\" onAction=\"ButtonHome\"/>"
    L"<button id=\"help\" label=\"도움말\" getImage=\"GetImageHelp\" size=\"large\" onAction=\"ButtonHelp\"/>"
    L"<button id=\"info\" label=\"정보\" getImage=\"GetImageInfo\" size=\"large\" onAction=\"ButtonInfo\"/>"
    L"</group>"
    L"<group id=\"groupSearchbutton\" label=\"보기\">"
    L"<box id=\"BoxSearchbutton\" boxStyle=\"vertical\">"
    L"<button id=\"searchbutton\" label=\"검색창보기\" getImage=\"GetImageSearchButton\" onAction=\"putVisiblePane\"/>"
    L"<checkBox id=\"SearchcheckBox\" label=\"항상보이기\" onAction=\"CheckBoxVisible\"/>"
    L"</box>"
    L"</group>"
    L"</tab>"
    L"</tabs></ribbon>"
    L"</customUI>";

namespace {

struct ImageResource {
    int id;
    bool icon;  // else a bitmap
    int size;
};

// In the order of RibbonImage.
constexpr std::array<ImageResource, 7> kImages{{
    {IDI_RIBBON_CERT, true, 32},
    {IDB_RIBBON_CUSTOM_BUTTON, false, 20},
    {IDI_RIBBON_PAY, true, 32},
    {IDI_RIBBON_HOMEPAGE, true, 32},
    {IDI_RIBBON_HELP, true, 32},
    {IDI_RIBBON_INFO, true, 32},
    {IDB_RIBBON_SEARCH_BUTTON, false, 16},
}};

// The loaded handles, kept until the library is unloaded.
struct LoadedImages {
    std::array<UniqueIcon, 7> icons;
    std::array<UniqueBitmap, 7> bitmaps;
    std::array<bool, 7> tried{};
};

LoadedImages& Images() {
    static LoadedImages images;
    return images;
}

}  // namespace

HRESULT NewRibbonPicture(RibbonImage image, IPictureDisp** picture) {
    if (!picture) return E_POINTER;
    *picture = nullptr;
    const size_t index = static_cast<size_t>(image);
    if (index >= kImages.size()) return E_INVALIDARG;
    const ImageResource& res = kImages[index];
    LoadedImages& loaded = Images();
    if (!loaded.tried[index]) {
        loaded.tried[index] = true;
        if (res.icon) {
            loaded.icons[index].reset(static_cast<HICON>(
                LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(res.id), IMAGE_ICON, res.size, res.size, LR_DEFAULTCOLOR)));
        } else {
            loaded.bitmaps[index].reset(static_cast<HBITMAP>(
                LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(res.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        }
    }
    PICTDESC desc = {};
    desc.cbSizeofstruct = sizeof desc;
    if (res.icon) {
        if (!loaded.icons[index]) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        desc.picType = PICTYPE_ICON;
        desc.icon.hicon = loaded.icons[index].get();
    } else {
        if (!loaded.bitmaps[index]) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        desc.picType = PICTYPE_BITMAP;
        desc.bmp.hbitmap = loaded.bitmaps[index].get();
    }
    // The picture borrows the handle (fOwn FALSE): the next call hands out the same one.
    return OleCreatePictureIndirect(&desc, IID_IPictureDisp, FALSE, reinterpret_cast<void**>(picture));
}

}  // namespace kv
