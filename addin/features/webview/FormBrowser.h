// The built-in form browser: the web view that stands in where the system browser control
// cannot show pages. It loads a page with our HTTP client (redirects followed, cookies kept
// where the socket client reads them), reads its HTML, lets the caller fill inputs and click
// elements, and submits forms the way a browser does. Portable; the Windows view around it
// (FormBrowserView) paints the preview image and delivers completion through the message loop.
//
// Loads never run inside Navigate or Click: those record the request and ask the scheduler
// for a later call of RunPending, which loads and tells whether a document completed. So the
// completion always arrives after the call that started the load has returned.
#pragma once
#include <string>

#include "addin/features/webview/HtmlDocument.h"
#include "addin/features/webview/PageFetch.h"

namespace kv {

class LoadScheduler {
public:
    virtual ~LoadScheduler() = default;
    // Arrange one later call of FormBrowser::RunPending (a posted message on Windows).
    virtual void ScheduleLoad() = 0;
};

// What a submission sends: the method, the address (GET: with the form data as its query) and
// the body (POST).
PageRequest FormSubmission(const HtmlDocument& page, const std::string& pageUrl, int form, int submitter);
// application/x-www-form-urlencoded: letters, digits and "*-._" stay, a space is "+", every
// other byte (code page 949 text included) is %XX.
std::string FormUrlEncode(const std::string& bytes);

class FormBrowser {
public:
    static constexpr int kMaxRedirects = 10;
    static constexpr size_t kMaxImageBytes = 8 * 1024 * 1024;

    FormBrowser(PageFetcher& fetcher, LoadScheduler& scheduler) : fetcher_(fetcher), scheduler_(scheduler) {}

    // Both return false (and schedule nothing) for an address that is not http://.
    bool Navigate(const std::string& url);
    // An input: sets its value (false for a missing element or one that is not an input or
    // textarea). Text is in the page's code page (949).
    bool SetInputValue(const std::string& id, const std::string& value);
    // A submit button or image input submits its form; an <a href> follows the link. False
    // when the element is missing or clicking it does nothing.
    bool Click(const std::string& id);
    // Also fetch the page's first image after each load (the preview).
    void SetLoadFirstImage(bool on) { loadImage_ = on; }

    // Runs the load that Navigate or Click asked for. True when a document completed (also a
    // failed one, which is empty); false when nothing was pending.
    bool RunPending();
    bool pending() const { return pending_; }

    // The current document; empty after a failed load.
    bool hasDocument() const { return hasDocument_; }
    bool loadFailed() const { return failed_; }
    int status() const { return status_; }
    const std::string& url() const { return url_; }
    const HtmlDocument& document() const { return document_; }
    std::string BodyText() const { return hasDocument_ ? document_.BodyText() : std::string(); }
    int FindElement(const std::string& id) const { return hasDocument_ ? document_.FindById(id) : -1; }
    // The first image's bytes as fetched (empty when the page has none or it failed).
    const std::string& imageBytes() const { return image_; }

private:
    // Fetches request, following redirects; false on failure or too many redirects.
    bool FetchFollowing(PageRequest request, PageReply* reply, std::string* finalUrl);

    PageFetcher& fetcher_;
    LoadScheduler& scheduler_;
    bool pending_ = false;
    PageRequest next_;
    bool loadImage_ = false;

    bool hasDocument_ = false;
    bool failed_ = false;
    int status_ = 0;
    std::string url_;
    HtmlDocument document_;
    std::string image_;
};

}  // namespace kv
