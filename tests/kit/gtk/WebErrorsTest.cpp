// WebKitGTK's load errors in the platform's domains and codes; no display needed.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/gtk/PageScrollView.h"
#include "kit/gtk/WebErrors.h"
#include "kit/ui/WebView.h"

namespace {

using kit::gtk::WebErrors;

struct Case {
  GQuark domain;
  int code;
  const char* expectDomain;
  long expectCode;
};

TEST(WebErrorsTest, MapsEachKnownFailure) {
  const Case cases[] = {
      {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, "NSURLErrorDomain", -999},
      {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL, "NSURLErrorDomain", -1002},
      {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI, "NSURLErrorDomain", -1002},
      {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST, "NSURLErrorDomain", -1100},
      {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, "WebKitErrorDomain", 102},
      {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE, "WebKitErrorDomain", 100},
      {WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD, "WebKitErrorDomain", 204},
      {G_IO_ERROR, G_IO_ERROR_CANCELLED, "NSURLErrorDomain", -999},
      {G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED, "NSURLErrorDomain", -1004},
      {G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "NSURLErrorDomain", -1001},
      {G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, "NSURLErrorDomain", -1003},
      {G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, "NSURLErrorDomain", -1200},
      {g_quark_from_static_string("something-else"), 7, "NSURLErrorDomain", -1},
  };
  for (const Case& c : cases) {
    GError* e = g_error_new_literal(c.domain, c.code, "went wrong");
    kit::Ref<kit::Error> mapped = WebErrors::fromGError(e, "http://127.0.0.1:9/x");
    g_error_free(e);
    EXPECT_EQ(mapped->domain(), c.expectDomain) << g_quark_to_string(c.domain) << " " << c.code;
    EXPECT_EQ(mapped->code(), c.expectCode) << g_quark_to_string(c.domain) << " " << c.code;
    EXPECT_EQ(mapped->localizedDescription(), "went wrong");
  }
}

TEST(WebErrorsTest, NamesTheFailingURLAndSurvivesMissingParts) {
  kit::Ref<kit::Error> e = WebErrors::fromGError(nullptr, "http://127.0.0.1/");
  EXPECT_EQ(e->domain(), "NSURLErrorDomain");
  auto* url = kit::cast<kit::String>(e->userInfo()->objectForKey(WebErrors::kFailingURLStringKey));
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->str(), "http://127.0.0.1/");
  kit::Ref<kit::Error> noURL = WebErrors::fromGError(nullptr, "");
  EXPECT_EQ(noURL->userInfo()->objectForKey(WebErrors::kFailingURLStringKey), nullptr);
  EXPECT_EQ(WebErrors::untrustedCertificate("https://127.0.0.1/")->code(), -1202);
}

TEST(PageScrollViewTest, ReadsOnlyWellFormedMetrics) {
  kit::Point o;
  kit::Size s;
  EXPECT_TRUE(kit::gtk::PageScrollView::parseMetrics("0,120.5,1024,5000", o, s));
  EXPECT_EQ(o, (kit::Point{0, 120.5}));
  EXPECT_EQ(s, (kit::Size{1024, 5000}));
  for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "1,2,-3,4", "1,2,3,4 ", "nan,0,1,1", "1,2,inf,4"})
    EXPECT_FALSE(kit::gtk::PageScrollView::parseMetrics(bad, o, s)) << bad;
}

// A top inset is a band over the document's start that offsets and sizes leave out.
TEST(PageScrollViewTest, ATopInsetIsLeftOutOfTheOffsetAndTheSize) {
  kit::Ref<kit::gtk::PageScrollView> sv(new kit::gtk::PageScrollView(nullptr, {0, 0, 1024, 600}));
  sv->setContentInset({44, 0, 0, 0});
  sv->pageReported({0, 0}, {1024, 3044});
  EXPECT_EQ(sv->contentOffset(), (kit::Point{0, -44}));
  EXPECT_EQ(sv->contentSize(), (kit::Size{1024, 3000}));
  sv->pageReported({0, 64}, {1024, 3044});
  EXPECT_EQ(sv->contentOffset(), (kit::Point{0, 20}));
}

}  // namespace
