#include "kit/gtk/WebKitView.h"

#include <webkit2/webkit2.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/gtk/ImageConversion.h"
#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/PageScrollView.h"
#include "kit/gtk/WebErrors.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/WebContentFilter.h"

namespace kit::gtk {
namespace {

constexpr const char* kMetricsScript =
    "[window.scrollX, window.scrollY,"
    " Math.max(document.documentElement ? document.documentElement.scrollWidth : 0, window.innerWidth),"
    " Math.max(document.documentElement ? document.documentElement.scrollHeight : 0, window.innerHeight)].join(',')";

int gEvaluating = 0;

std::string toString(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return {};
  gchar* s = jsc_value_to_string(value);
  std::string out = s ? s : "";
  g_free(s);
  return out;
}

Ref<URLRequest> kitRequest(WebKitURIRequest* r) {
  Ref<URL> url = URL::URLWithString(webkit_uri_request_get_uri(r));
  if (!url) url = URL::lenientURLWithString(webkit_uri_request_get_uri(r));
  if (!url) url = URL::URLWithString("about:blank");
  Ref<URLRequest> req = URLRequest::requestWithURL(url);
  if (const char* m = webkit_uri_request_get_http_method(r)) req->setHTTPMethod(m);
  if (SoupMessageHeaders* h = webkit_uri_request_get_http_headers(r)) {
    SoupMessageHeadersIter it;
    soup_message_headers_iter_init(&it, h);
    const char *name, *value;
    while (soup_message_headers_iter_next(&it, &name, &value)) req->addValue(value, name);
  }
  return req;
}

// The messages of the content-filter extension (src/kit/gtk/webextension).
constexpr const char* kPatternsMessage = "tolva-blocked-patterns";
constexpr const char* kBlockedMessage = "tolva-blocked";

GVariant* patternList(const std::vector<std::string>& patterns) {
  std::vector<const char*> items;
  for (const auto& p : patterns) items.push_back(p.c_str());
  return g_variant_new_strv(items.data(), static_cast<gssize>(items.size()));
}

std::string& extensionsFolder() {
  static std::string* folder = new std::string();
  return *folder;
}

// The extension's folder: the one set, else "webextensions" beside the program.
std::string webExtensionsDirectory() {
  if (!extensionsFolder().empty()) return extensionsFolder();
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "webextensions";
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/')) + "/webextensions";
}

// Every web process starts with the list as it is then, and hears of each change.
void connectContentFilter(WebKitWebContext* context) {
  webkit_web_context_set_web_extensions_directory(context, webExtensionsDirectory().c_str());
  g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(+[](WebKitWebContext* c, gpointer) {
                     webkit_web_context_set_web_extensions_initialization_user_data(
                         c, patternList(WebContentFilter::blockedURLPatterns()));
                   }),
                   nullptr);
  WebContentFilter::setObserver([context](const std::vector<std::string>& patterns) {
    struct Change {
      WebKitWebContext* context;
      std::vector<std::string> patterns;
    };
    // GTK is the main thread's; a change made on another thread goes there.
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* change = static_cast<Change*>(data);
          webkit_web_context_send_message_to_all_extensions(
              change->context, webkit_user_message_new(kPatternsMessage, patternList(change->patterns)));
          return G_SOURCE_REMOVE;
        },
        new Change{context, patterns}, [](gpointer data) { delete static_cast<Change*>(data); });
  });
}

}  // namespace

struct WebKitView::Signals {
  static gboolean messageReceived(WebKitWebView*, WebKitUserMessage* message, gpointer) {
    if (g_strcmp0(webkit_user_message_get_name(message), kBlockedMessage) != 0) return FALSE;
    GVariant* parameters = webkit_user_message_get_parameters(message);
    if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING))
      WebContentFilter::reportBlocked(g_variant_get_string(parameters, nullptr));
    return TRUE;
  }

  static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               gpointer data) {
    auto* self = static_cast<WebKitView*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      auto* d = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      // What the page cannot show, and an attachment of the page itself, fails the load with 102,
      // which the browser offers for its own download manager (WebKit's download path is unused).
      bool attachment = false;
      if (webkit_response_policy_decision_is_main_frame_main_resource(d)) {
        WebKitURIResponse* response = webkit_response_policy_decision_get_response(d);
        SoupMessageHeaders* headers = response ? webkit_uri_response_get_http_headers(response) : nullptr;
        const char* disposition = headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
        attachment = disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
      }
      if (webkit_response_policy_decision_is_mime_type_supported(d) && !attachment)
        webkit_policy_decision_use(decision);
      else
        webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    auto* nav = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(nav);
    WebKitURIRequest* uriRequest = webkit_navigation_action_get_request(action);
    const std::string uri = webkit_uri_request_get_uri(uriRequest);
    const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    if (!newWindow && !self->preapprovedURL_.empty() && uri == self->preapprovedURL_) {
      self->preapprovedURL_.clear();
      webkit_policy_decision_use(decision);
      return TRUE;
    }
    auto navType = static_cast<WebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
    if (static_cast<int>(navType) < 0 || static_cast<int>(navType) > 5) navType = WebViewNavigationType::Other;
    const bool mainFrame = newWindow || webkit_navigation_action_get_frame_name(action) == nullptr;
    Ref<URLRequest> request = kitRequest(uriRequest);
    Ref<WebKitView> view(self);
    g_object_ref(decision);
    // Asked once WebKit's signal returned: the delegate may evaluate scripts.
    MainContextHost::post([view, decision, request, navType, newWindow, mainFrame, uri] {
      bool allowed = true;
      if (WebViewDelegate* d = view->delegate())
        allowed = d->webViewShouldStartLoadWithRequest(*view, *request, navType);
      if (allowed && newWindow) {
        webkit_policy_decision_ignore(decision);
        view->preapprovedURL_ = uri;
        view->current_ = request;
        WebKitURIRequest* again = webkit_uri_request_new(uri.c_str());
        webkit_web_view_load_request(view->web_, again);
        g_object_unref(again);
      } else if (allowed) {
        if (mainFrame) view->current_ = request;
        webkit_policy_decision_use(decision);
      } else {
        webkit_policy_decision_ignore(decision);
      }
      g_object_unref(decision);
    });
    return TRUE;
  }

  static void loadChanged(WebKitWebView* web, WebKitLoadEvent event, gpointer data) {
    Ref<WebKitView> view(static_cast<WebKitView*>(data));
    const char* uri = webkit_web_view_get_uri(web);
    const std::string at = uri ? uri : "";
    MainContextHost::post([view, event, at] {
      switch (event) {
        case WEBKIT_LOAD_STARTED:
          view->loading_ = true;
          view->failed_ = false;
          if (WebViewDelegate* d = view->delegate()) d->webViewDidStartLoad(*view);
          break;
        case WEBKIT_LOAD_REDIRECTED:
        case WEBKIT_LOAD_COMMITTED:
          if (!at.empty() && (!view->current_ || !view->current_->url() ||
                              view->current_->url()->absoluteString() != at)) {
            if (Ref<URL> url = URL::URLWithString(at)) view->current_ = URLRequest::requestWithURL(url);
          }
          break;
        case WEBKIT_LOAD_FINISHED: {
          const bool wasLoading = view->loading_;
          view->loading_ = false;
          view->refreshPageMetrics();
          if (!view->failed_ && wasLoading)
            if (WebViewDelegate* d = view->delegate()) d->webViewDidFinishLoad(*view);
          break;
        }
      }
    });
  }

  static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingURI, GError* error, gpointer data) {
    Ref<WebKitView> view(static_cast<WebKitView*>(data));
    Ref<Error> e = WebErrors::fromGError(error, failingURI ? failingURI : "");
    MainContextHost::post([view, e] {
      view->failed_ = true;
      view->loading_ = false;
      if (WebViewDelegate* d = view->delegate()) d->webViewDidFailLoadWithError(*view, e.get());
    });
    return TRUE;  // no error page of WebKit's own
  }

  static gboolean tlsFailed(WebKitWebView*, gchar* failingURI, GTlsCertificate*, GTlsCertificateFlags, gpointer data) {
    Ref<WebKitView> view(static_cast<WebKitView*>(data));
    Ref<Error> e = WebErrors::untrustedCertificate(failingURI ? failingURI : "");
    MainContextHost::post([view, e] {
      view->failed_ = true;
      view->loading_ = false;
      if (WebViewDelegate* d = view->delegate()) d->webViewDidFailLoadWithError(*view, e.get());
    });
    return TRUE;
  }

  static gboolean contextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent* event, WebKitHitTestResult* hit,
                              gpointer data) {
    auto* self = static_cast<WebKitView*>(data);
    const bool selection = webkit_hit_test_result_context_is_selection(hit);
    const bool editable = webkit_hit_test_result_context_is_editable(hit);
    const bool element = webkit_hit_test_result_context_is_link(hit) || webkit_hit_test_result_context_is_image(hit);
    if (element && !selection && !editable) {
      double x = 0, y = 0;
      if (!event || !gdk_event_get_coords(event, &x, &y)) return FALSE;
      for (const Ref<GestureRecognizer>& g : self->gestureRecognizers()) {
        auto* hold = dynamic_cast<LongPressGestureRecognizer*>(g.get());
        if (!hold || !hold->isEnabled()) continue;
        Ref<WebView> keep(self);
        Ref<LongPressGestureRecognizer> press(hold);
        const Point at{x, y};
        // After WebKit's signal returns: the menu's handler evaluates scripts.
        MainContextHost::post([keep, press, at] {
          if (press->press(at)) press->lift(at);
        });
        return TRUE;  // no WebKit menu
      }
      return FALSE;
    }
    if (!selection || editable) return FALSE;
    bool separated = false;
    for (size_t i = 0; i < self->selectionMenuItems().size(); ++i) {
      const SelectionMenuItem& item = self->selectionMenuItems()[i];
      if (!item.action || (item.isAvailable && !item.isAvailable())) continue;
      if (!separated) {
        webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
        separated = true;
      }
      const std::string name = "tolva-selection-" + std::to_string(i);
      GSimpleAction* action = g_simple_action_new(name.c_str(), nullptr);
      std::weak_ptr<bool> alive = self->alive_;
      auto* call = new std::function<void()>([alive, self, i] {
        auto a = alive.lock();
        if (!a || !*a || i >= self->selectionMenuItems().size()) return;
        Ref<WebView> keep(self);
        std::function<void()> run = self->selectionMenuItems()[i].action;
        if (run) run();
      });
      g_signal_connect_data(action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer fn) {
                              // Run once WebKit's menu has closed: the entry opens tabs and evaluates scripts.
                              auto run = *static_cast<std::function<void()>*>(fn);
                              MainContextHost::post([run] { run(); });
                            }),
                            call, +[](gpointer fn, GClosure*) { delete static_cast<std::function<void()>*>(fn); },
                            GConnectFlags(0));
      webkit_context_menu_append(menu,
                                 webkit_context_menu_item_new_from_gaction(G_ACTION(action), item.title.c_str(), nullptr));
      g_object_unref(action);
    }
    return FALSE;
  }

  static gboolean scrolled(GtkWidget*, GdkEvent*, gpointer data) {
    auto* view = static_cast<WebKitView*>(data);
    if (view->scroll_ && !view->metricsTimer_) {
      view->metricsTimer_ = g_timeout_add(100, [](gpointer p) -> gboolean {
        auto* v = static_cast<WebKitView*>(p);
        v->metricsTimer_ = 0;
        v->refreshPageMetrics();
        return G_SOURCE_REMOVE;
      }, view);
    }
    return FALSE;
  }
};

WebKitWebContext* WebKitView::sharedContext() {
  static WebKitWebContext* context = [] {
    const std::string data = Paths::dataRoot() + "/WebKit";
    const std::string cache = Paths::cacheRoot() + "/WebKit";
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    // Certificates are always checked, for every host.
    webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    WebKitWebContext* c = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    webkit_cookie_manager_set_persistent_storage(webkit_web_context_get_cookie_manager(c),
                                                 (data + "/cookies.sqlite").c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    connectContentFilter(c);
    return c;
  }();
  return context;
}

void WebKitView::setWebExtensionsDirectory(std::string folder) { extensionsFolder() = std::move(folder); }

void WebKitView::installFactory() {
  WebView::setFactory([](Rect frame) -> Ref<WebView> { return Ref<WebView>(new WebKitView(frame)); });
}

WebKitView::WebKitView(Rect frame) : WebView(frame), alive_(std::make_shared<bool>(true)) {
  web_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(sharedContext()));
  g_object_ref_sink(web_);
  WebKitSettings* settings = webkit_web_view_get_settings(web_);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  g_signal_connect(web_, "decide-policy", G_CALLBACK(Signals::decidePolicy), this);
  g_signal_connect(web_, "load-changed", G_CALLBACK(Signals::loadChanged), this);
  g_signal_connect(web_, "load-failed", G_CALLBACK(Signals::loadFailed), this);
  g_signal_connect(web_, "load-failed-with-tls-errors", G_CALLBACK(Signals::tlsFailed), this);
  g_signal_connect(web_, "scroll-event", G_CALLBACK(Signals::scrolled), this);
  g_signal_connect(web_, "context-menu", G_CALLBACK(Signals::contextMenu), this);
  g_signal_connect(web_, "user-message-received", G_CALLBACK(Signals::messageReceived), this);
  // A page asking for a login fails to load, as the platform's web view does;
  // the browser asks through a screen of its own rather than WebKit's dialog.
  g_signal_connect(web_, "authenticate", G_CALLBACK(+[](WebKitWebView*, WebKitAuthenticationRequest* request,
                                                        gpointer) -> gboolean {
                     webkit_authentication_request_cancel(request);
                     return TRUE;
                   }),
                   nullptr);
  applyUserAgent(nullptr);
  defaultsObserver_ = NotificationCenter::defaultCenter().addObserver(
      UserDefaults::kDidChangeNotification, nullptr, [this, alive = alive_](const Notification&) {
        // A user agent chosen while the page is open: its later requests carry
        // it too. Settings change on loading threads as well; GTK is the main thread's.
        auto follow = [this, alive] {
          if (*alive && !UserDefaults::standardUserDefaults().stringForKey("UserAgent").empty())
            applyUserAgent(nullptr);
        };
        if (Thread::isMainThread())
          follow();
        else
          RunLoop::performOnMainThread(follow);
      });
}

WebKitView::~WebKitView() {
  defaultsObserver_ = NotificationCenter::Token();
  *alive_ = false;
  if (metricsTimer_) g_source_remove(metricsTimer_);
  if (scroll_) scroll_->ownerGone();
  g_signal_handlers_disconnect_by_data(web_, this);
  if (bandSheet_) webkit_user_style_sheet_unref(bandSheet_);
  webkit_web_view_stop_loading(web_);
  if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(web_)))
    gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(web_));
  gtk_widget_destroy(GTK_WIDGET(web_));
  g_object_unref(web_);
}

GtkWidget* WebKitView::webWidget() const { return GTK_WIDGET(web_); }

void WebKitView::applyUserAgent(URLRequest* request) {
  std::string agent = UserDefaults::standardUserDefaults().stringForKey("UserAgent");
  if (agent.empty() && request)
    if (auto header = request->valueForHTTPHeaderField("User-Agent")) agent = *header;
  WebKitSettings* settings = webkit_web_view_get_settings(web_);
  const char* now = webkit_settings_get_user_agent(settings);
  if (agent.empty()) {
    webkit_settings_set_user_agent(settings, nullptr);  // WebKit's own
  } else if (!now || agent != now) {
    webkit_settings_set_user_agent(settings, agent.c_str());
  }
}

void WebKitView::loadRequest(URLRequest* request) {
  if (!request || !request->url()) return;
  applyUserAgent(request);
  WebKitURIRequest* r = webkit_uri_request_new(request->url()->absoluteString().c_str());
  if (SoupMessageHeaders* h = webkit_uri_request_get_http_headers(r))
    for (const auto& [name, value] : request->allHTTPHeaderFields())
      if (name != "User-Agent") soup_message_headers_replace(h, name.c_str(), value.c_str());
  webkit_web_view_load_request(web_, r);
  g_object_unref(r);
}

void WebKitView::loadHTMLString(const std::string& html, URL* baseURL) {
  applyUserAgent(nullptr);
  webkit_web_view_load_html(web_, html.c_str(), baseURL ? baseURL->absoluteString().c_str() : "about:blank");
}

void WebKitView::stopLoading() { webkit_web_view_stop_loading(web_); }
void WebKitView::reload() { webkit_web_view_reload(web_); }
void WebKitView::goBack() { webkit_web_view_go_back(web_); }
void WebKitView::goForward() { webkit_web_view_go_forward(web_); }
bool WebKitView::canGoBack() const { return webkit_web_view_can_go_back(web_); }
bool WebKitView::canGoForward() const { return webkit_web_view_can_go_forward(web_); }

void WebKitView::evaluateAsync(const std::string& script, std::function<void(const std::string&)> done) {
  using Done = std::function<void(const std::string&)>;
  auto* holder = new Done(std::move(done));
  webkit_web_view_evaluate_javascript(
      web_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Done> fn(static_cast<Done*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
        const std::string answer = toString(value);
        if (value) g_object_unref(value);
        if (error) g_error_free(error);
        if (*fn) {
          Done call = std::move(*fn);
          MainContextHost::post([call, answer] { call(answer); });
        }
      },
      holder);
}

std::string WebKitView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
  if (gEvaluating > 0) {
    std::fprintf(stderr, "kit: a script evaluation was asked for while another one waits; answering \"\"\n");
    return {};
  }
  struct State {
    bool done = false;
    std::string answer;
  };
  auto state = std::make_shared<State>();
  auto* holder = new std::shared_ptr<State>(state);
  webkit_web_view_evaluate_javascript(
      web_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<State>> s(static_cast<std::shared_ptr<State>*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
        (*s)->answer = toString(value);
        (*s)->done = true;
        if (value) g_object_unref(value);
        if (error) g_error_free(error);
      },
      holder);
  bool timedOut = false;
  MainContextHost::Suspension hold;
  ++gEvaluating;
  const guint timer = g_timeout_add(static_cast<guint>(kScriptTimeout * 1000), [](gpointer p) -> gboolean {
    *static_cast<bool*>(p) = true;
    return G_SOURCE_REMOVE;
  }, &timedOut);
  while (!state->done && !timedOut) g_main_context_iteration(nullptr, TRUE);
  if (!timedOut) g_source_remove(timer);
  --gEvaluating;
  if (!state->done)
    std::fprintf(stderr, "kit: a script gave no answer within %.0f s: %.60s\n", kScriptTimeout, script.c_str());
  return state->done ? state->answer : std::string();
}

ScrollView* WebKitView::scrollView() const {
  if (!scroll_) {
    auto* self = const_cast<WebKitView*>(this);
    scroll_ = Ref<PageScrollView>(new PageScrollView(self, bounds()));
    scroll_->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    scroll_->setBackgroundColor(std::nullopt);
    self->addSubview(scroll_.get());
    self->refreshPageMetrics();
  }
  return scroll_.get();
}

void WebKitView::setTopBand(double height) {
  height = std::max(0.0, std::round(height));
  if (height == topBand_) return;
  topBand_ = height;
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(web_);
  if (bandSheet_) {
    webkit_user_content_manager_remove_style_sheet(manager, bandSheet_);
    webkit_user_style_sheet_unref(bandSheet_);
    bandSheet_ = nullptr;
  }
  if (height > 0) {
    const std::string css = "html{padding-top:" + std::to_string(static_cast<int>(height)) + "px !important}";
    bandSheet_ = webkit_user_style_sheet_new(css.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                             WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(manager, bandSheet_);
  }
  refreshPageMetrics();
}

void WebKitView::refreshPageMetrics() {
  if (!scroll_) return;
  std::weak_ptr<bool> alive = alive_;
  Ref<PageScrollView> sv = scroll_;
  evaluateAsync(kMetricsScript, [alive, sv](const std::string& answer) {
    auto a = alive.lock();
    if (!a || !*a) return;
    Point offset;
    Size size;
    if (PageScrollView::parseMetrics(answer, offset, size)) sv->pageReported(offset, size);
  });
}

Ref<Image> WebKitView::snapshot() {
  GtkWidget* w = GTK_WIDGET(web_);
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  // Not on screen yet: a blank image of the view's size (asking the renderer
  // would come straight back here).
  if (!gtk_widget_get_realized(w) || width <= 1 || height <= 1) return Image::imageWithSize(bounds().size);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(s);
  gtk_widget_draw(w, cr);
  cairo_destroy(cr);
  Ref<Image> image = ImageConversion::fromSurface(s);
  cairo_surface_destroy(s);
  return image;
}

void WebKitView::setTextZoom(double factor) {
  if (!std::isfinite(factor) || factor <= 0) return;
  WebView::setTextZoom(factor);
  webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(web_), TRUE);
  webkit_web_view_set_zoom_level(web_, factor);
}

void WebKitView::print(PrintCompletion completion) {
  WebView::print(nullptr);
  struct Job {
    PrintCompletion done;
    Ref<Error> error;
  };
  WebKitPrintOperation* operation = webkit_print_operation_new(web_);
  auto* job = new Job{std::move(completion), nullptr};
  g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError* error, gpointer data) {
                     static_cast<Job*>(data)->error = Error::errorWithDescription(
                         "WebKitPrintError", error ? error->code : 0,
                         error && error->message ? error->message : "Printing failed.");
                   }),
                   job);
  g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation* op, gpointer data) {
                     std::unique_ptr<Job> j(static_cast<Job*>(data));
                     if (j->done) j->done(!j->error, j->error.get());
                     g_object_unref(op);
                   }),
                   job);
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(web_));
  WebKitPrintOperationResponse response =
      webkit_print_operation_run_dialog(operation, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
  if (response == WEBKIT_PRINT_OPERATION_RESPONSE_CANCEL) {
    // No job: "finished" never comes.
    std::unique_ptr<Job> j(job);
    g_signal_handlers_disconnect_by_data(operation, job);
    g_object_unref(operation);
    if (j->done) j->done(false, nullptr);
  }
}

}  // namespace kit::gtk
