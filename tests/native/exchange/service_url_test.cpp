#include <gtest/gtest.h>

#include "addin/features/service/ServiceUrl.h"

namespace kv {
namespace {

TEST(ServiceUrl, OneLetterHostWithPortAndSpacedQuery) {
    ServiceUrl url = ServiceUrl::Parse("http://h:8080/a?b=c d");
    EXPECT_EQ(url.scheme, "http");
    EXPECT_EQ(url.host, "h");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/a");
    EXPECT_EQ(url.query, "b=c d");
    EXPECT_EQ(url.compose(ServiceUrl::RequestTarget), "/a?b=c+d");
}

TEST(ServiceUrl, EmptyPathBecomesSlashOnlyWithAHost) {
    ServiceUrl url = ServiceUrl::Parse("http://app.example");
    EXPECT_EQ(url.host, "app.example");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/");
    EXPECT_EQ(url.compose(ServiceUrl::RequestTarget), "/");
    // Host and port part ends at the first slash; an empty authority leaves the path alone.
    EXPECT_EQ(ServiceUrl::Parse("http://app.example?x=1").path, "/");
    ServiceUrl bare = ServiceUrl::Parse("plain/path");
    EXPECT_EQ(bare.host, "");
    EXPECT_EQ(bare.scheme, "");
    EXPECT_EQ(bare.path, "plain/path");
}

TEST(ServiceUrl, SplitsAtFirstOccurrenceInOrderFragmentQueryParams) {
    ServiceUrl url = ServiceUrl::Parse("http://h:81/p;x;y?q=1?2#f#g");
    EXPECT_EQ(url.fragment, "f#g");
    EXPECT_EQ(url.query, "q=1?2");
    EXPECT_EQ(url.params, "x;y");
    EXPECT_EQ(url.path, "/p");
    EXPECT_EQ(url.port, 81);
    EXPECT_EQ(url.compose(63), "http://h:81/p;x;y?q=1?2#f#g");
    EXPECT_EQ(url.compose(ServiceUrl::RequestTarget), "/p;x;y?q=1?2");
    // A ";" after the "?" belongs to the query, not to the params.
    ServiceUrl late = ServiceUrl::Parse("http://h/p?a=1;b=2");
    EXPECT_EQ(late.query, "a=1;b=2");
    EXPECT_EQ(late.params, "");
}

TEST(ServiceUrl, HashInKeywordCutsTheRestIntoTheUnsentFragment) {
    ServiceUrl url = ServiceUrl::Parse("http://h/k_app/search_freeform.asp?ext=doc&keyword=C#\xC7\xC1&x=1");
    EXPECT_EQ(url.query, "ext=doc&keyword=C");
    EXPECT_EQ(url.compose(ServiceUrl::RequestTarget), "/k_app/search_freeform.asp?ext=doc&keyword=C");
}

TEST(ServiceUrl, PortIsReadLikeAtoiAndNeverOverflows) {
    EXPECT_EQ(ServiceUrl::Parse("http://h:8080x/").port, 8080);
    EXPECT_EQ(ServiceUrl::Parse("http://h:/").port, 0);
    EXPECT_EQ(ServiceUrl::Parse("http://h:-5/").port, -5);
    EXPECT_EQ(ServiceUrl::Parse("http://h:99999999999999999999/").port, 2147483647);
    EXPECT_EQ(ServiceUrl::Parse("http://h:-99999999999999999999/").port, -2147483647 - 1);
    // A port of 80 is never written out; any other is.
    EXPECT_EQ(ServiceUrl::Parse("http://h:80/a").compose(ServiceUrl::Authority | ServiceUrl::Path), "//h/a");
    EXPECT_EQ(ServiceUrl::Parse("http://h:0/a").compose(ServiceUrl::Authority | ServiceUrl::Path), "//h:0/a");
}

TEST(ServiceUrl, ControlBytesAreEscapedSpacesBecomePlusHighBytesStayRaw) {
    ServiceUrl url;
    url.path = "/s";
    url.query = std::string("keyword=a b\r\nX-Evil: 1\x7f\x01", 24) + std::string(1, '\0') + "\xB0\xA1%41+";
    EXPECT_EQ(url.compose(ServiceUrl::RequestTarget),
              std::string("/s?keyword=a+b%0D%0AX-Evil:+1%7F%01%00\xB0\xA1%41+"));
    url.fragment = "\t";
    EXPECT_EQ(url.compose(ServiceUrl::Fragment), "#%09");
}

}  // namespace
}  // namespace kv
