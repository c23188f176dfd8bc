// The ribbon's callbacks of CConnect (ICallbackInterface): each turns the host's call into one
// call of the add-in controller; the pictures come from the library's resources.
#include "addin/composition/Connect.h"
#include "addin/composition/RibbonDefinition.h"

namespace kv {

STDMETHODIMP CConnect::changeSearchText(IDispatch*, BSTR strSearchText) {
    return Guard([&] {
        controller_.ChangeSearchText(NarrowText(strSearchText, SysStringLen(strSearchText)));
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonClicked(IDispatch*) {
    return Guard([&] { return static_cast<HRESULT>(controller_.ButtonClicked()); });
}

STDMETHODIMP CConnect::putVisiblePane(IDispatch*) {
    return Guard([&] { return controller_.PutVisiblePane() ? S_OK : S_FALSE; });
}

STDMETHODIMP CConnect::putVisiblePaneAllways(IDispatch*) {
    return Guard([&] { return controller_.PutVisiblePaneAllways() ? S_OK : S_FALSE; });
}

STDMETHODIMP CConnect::ButtonCert(IDispatch*) {
    return Guard([&] { return controller_.ButtonCert() ? S_OK : S_FALSE; });
}

STDMETHODIMP CConnect::ButtonPremium(IDispatch*) {
    return Guard([&] {
        controller_.OpenServicePage(kPagePremium);
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonHome(IDispatch*) {
    return Guard([&] {
        controller_.OpenServicePage(kPageHome);
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonHelp(IDispatch*) {
    return Guard([&] {
        controller_.OpenServicePage(kPageHelp);
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnRibbonLoad(IUnknown* pRibbonUIUnk) {
    if (!pRibbonUIUnk) return E_POINTER;
    return pRibbonUIUnk->QueryInterface(IID_IRibbonUI, ribbon_.putVoid());
}

STDMETHODIMP CConnect::ButtonInfo(IDispatch*) {
    return Guard([&] {
        controller_.ButtonInfo();
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonLogout(IDispatch*) {
    return S_OK;
}

STDMETHODIMP CConnect::GetImageCert(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Cert, ppdispImage);
}
STDMETHODIMP CConnect::GetImageCustomButton(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::CustomButton, ppdispImage);
}
STDMETHODIMP CConnect::GetImagePay(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Pay, ppdispImage);
}
STDMETHODIMP CConnect::GetImageHomepage(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Homepage, ppdispImage);
}
STDMETHODIMP CConnect::GetImageHelp(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Help, ppdispImage);
}
STDMETHODIMP CConnect::GetImageInfo(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Info, ppdispImage);
}
STDMETHODIMP CConnect::GetImageSearchButton(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::SearchButton, ppdispImage);
}

// The check box "항상보이기" has no effect: the visibility at start comes from shutdown alone.
STDMETHODIMP CConnect::CheckBoxVisible(IDispatch*, BOOL) {
    return S_OK;
}

}  // namespace kv
