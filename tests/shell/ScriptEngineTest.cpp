// The page scripts and the script calls run for real: a JavaScript engine
// (node, when the machine has it; the tests skip otherwise) plays the page
// with a small DOM, and the headless web view hands every script the
// browser evaluates to it. This checks what the recorded script texts
// cannot: that the scripts define what the browser calls, may run again at
// every load, and that texts put into scripts arrive exactly.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "ShellTest.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/String.h"
#include "shell/UIWebViewExpand.h"

extern char** environ;

using namespace tolva;
using tolva::UIWebViewExpand::scriptStringLiteral;

namespace {

// The page: a DOM of elements, text and fragments, a window whose
// navigations and pop-ups are recorded, and a line protocol. Each line in
// is a script string literal; the script it holds is evaluated in the
// global scope as a web view does (the last value as text; "" for
// undefined, null or an exception) and the answer goes out percent-encoded
// on one line.
constexpr const char* kPageHarness = R"JS('use strict';
const readline = require('readline');
const state = { url: 'http://site.test/', navigations: [], opened: [], pointTarget: null };

class DomNode {
  constructor(type, name) { this.nodeType = type; this.nodeName = name; this.childNodes = []; this.parentNode = null; this.listeners = {}; }
  get firstChild() { return this.childNodes[0] || null; }
  appendChild(c) { return this.insertBefore(c, null); }
  insertBefore(c, ref) {
    if (c.nodeType === 11) { for (const k of c.childNodes.slice()) this.insertBefore(k, ref); return c; }
    if (c.parentNode) c.parentNode.removeChild(c);
    const i = ref ? this.childNodes.indexOf(ref) : -1;
    if (ref && i < 0) throw new Error('insertBefore: not a child');
    if (i < 0) this.childNodes.push(c); else this.childNodes.splice(i, 0, c);
    c.parentNode = this;
    return c;
  }
  removeChild(c) {
    const i = this.childNodes.indexOf(c);
    if (i < 0) throw new Error('removeChild: not a child');
    this.childNodes.splice(i, 1);
    c.parentNode = null;
    return c;
  }
  replaceChild(n, old) { this.insertBefore(n, old); this.removeChild(old); return old; }
  normalize() {
    const kids = [];
    for (const k of this.childNodes) {
      if (k.nodeType === 3) {
        if (!k.data) { k.parentNode = null; continue; }
        const prev = kids[kids.length - 1];
        if (prev && prev.nodeType === 3) { prev.data += k.data; k.parentNode = null; continue; }
      } else {
        k.normalize();
      }
      kids.push(k);
    }
    this.childNodes = kids;
  }
  get textContent() { return this.nodeType === 3 ? this.data : this.childNodes.map(k => k.textContent).join(''); }
  descendants(out = []) {
    for (const k of this.childNodes) { if (k.nodeType === 1) out.push(k); k.descendants(out); }
    return out;
  }
  getElementsByTagName(tag) {
    const t = String(tag).toUpperCase();
    return this.descendants().filter(e => t === '*' || e.nodeName === t);
  }
  addEventListener(type, fn) { (this.listeners[type] = this.listeners[type] || []).push(fn); }
}

class DomText extends DomNode {
  constructor(data) { super(3, '#text'); this.data = String(data); }
}

class DomElement extends DomNode {
  constructor(tag) {
    super(1, String(tag).toUpperCase());
    this.attributes = {};
    this.style = {};
    this.scrollTop = 0; this.scrollLeft = 0;
    this.scrollHeight = 0; this.clientHeight = 0; this.scrollWidth = 0; this.clientWidth = 0;
  }
  getAttribute(n) { return Object.prototype.hasOwnProperty.call(this.attributes, n) ? this.attributes[n] : null; }
  setAttribute(n, v) { this.attributes[n] = String(v); }
  get id() { return this.getAttribute('id') || ''; }
  get name() { return this.getAttribute('name') || ''; }
  get className() { return this.getAttribute('class') || ''; }
  set className(v) { this.setAttribute('class', v); }
  get type() { return (this.getAttribute('type') || 'text').toLowerCase(); }
  get value() { return this._value !== undefined ? this._value : (this.getAttribute('value') || ''); }
  set value(v) { this._value = String(v); }
  get href() {
    const h = this.getAttribute('href');
    if (h === null) return '';
    try { return new URL(h, state.url).href; } catch (e) { return h; }
  }
  set href(v) { this.setAttribute('href', v); }
  scrollIntoView() { this.scrolledIntoView = true; }
}

class DomDocument extends DomNode {
  constructor() { super(9, '#document'); this.title = ''; }
  createElement(t) { return new DomElement(t); }
  createTextNode(d) { return new DomText(d); }
  createDocumentFragment() { return new DomNode(11, '#document-fragment'); }
  getElementById(id) { return this.descendants().find(e => e.id === id) || null; }
  getElementsByName(n) { return this.descendants().filter(e => e.getAttribute('name') === n); }
  get forms() { return this.getElementsByTagName('form'); }
  get body() { return this.getElementsByTagName('body')[0] || null; }
  get documentElement() { return this.childNodes[0] || null; }
  elementFromPoint() { return state.pointTarget; }
}

// ['tag', {attribute: text, style: {...}, props: {...}}, child, ...]; a string is text.
function build(tree) {
  if (typeof tree === 'string') return new DomText(tree);
  const e = new DomElement(tree[0]);
  for (const [k, v] of Object.entries(tree[1] || {})) {
    if (k === 'props') Object.assign(e, v); else if (k === 'style') Object.assign(e.style, v); else e.setAttribute(k, v);
  }
  for (const kid of tree.slice(2)) e.appendChild(build(kid));
  return e;
}

const originalOpen = function (url, target) { state.opened.push([String(url), String(target)]); return {}; };
globalThis.window = globalThis;
globalThis.open = originalOpen;
globalThis.location = {
  get href() { return state.url; },
  set href(v) { state.navigations.push(new URL(String(v), state.url).href); },
};
globalThis.frames = {};
globalThis.innerWidth = 800;
globalThis.innerHeight = 600;
globalThis.pageXOffset = 0;
globalThis.pageYOffset = 120;
globalThis.getComputedStyle = e => e.style;

// A new document at `url`: whatever scripts put on the window goes, as it does in a browser.
globalThis.__page = function (tree, url) {
  for (const k of Object.getOwnPropertyNames(globalThis)) if (!baseline.has(k)) delete globalThis[k];
  globalThis.open = originalOpen;
  state.url = url || 'http://site.test/';
  state.navigations = []; state.opened = []; state.pointTarget = null;
  const doc = new DomDocument();
  doc.appendChild(build(tree));
  globalThis.document = doc;
  return 'ok';
};
// A click on the element with that id, bubbling up to the document.
globalThis.__click = function (id) {
  const target = document.getElementById(id);
  const event = { type: 'click', target, defaultPrevented: false, preventDefault() { this.defaultPrevented = true; } };
  for (let n = target; n; n = n.parentNode) for (const fn of (n.listeners.click || [])) fn.call(n, event);
  return event.defaultPrevented ? 'prevented' : 'default';
};
globalThis.__navigations = () => JSON.stringify(state.navigations);
globalThis.__opened = () => JSON.stringify(state.opened);
globalThis.__pointAt = id => { state.pointTarget = document.getElementById(id); return 'ok'; };
globalThis.document = new DomDocument();
const baseline = new Set(Object.getOwnPropertyNames(globalThis));

readline.createInterface({ input: process.stdin }).on('line', line => {
  let answer = '';
  try {
    const value = (0, eval)((0, eval)(line));
    answer = value === undefined || value === null ? '' : String(value);
  } catch (e) {
    if (process.env.TOLVA_PAGE_TRACE) process.stderr.write('page: ' + e + '\n');
  }
  let encoded;
  try { encoded = encodeURIComponent(answer); } catch (e) { encoded = 'page%20answer%20not%20encodable'; }
  process.stdout.write(encoded + '\n');
});
)JS";

bool nodeAvailable() {
  static const bool available = std::system("node --version > /dev/null 2>&1") == 0;
  return available;
}

std::string percentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The engine process playing the page.
class NodePage {
 public:
  explicit NodePage(const std::string& folder) : harness_(folder + "/page-harness.js") {
    std::ofstream(harness_) << kPageHarness;
    signal(SIGPIPE, SIG_IGN);  // a page that died is reported, not fatal
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::string node = "node";
    char* argv[] = {node.data(), harness_.data(), nullptr};
    if (posix_spawnp(&pid_, "node", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toPage_ = in[1];
    fromPage_ = out[0];
    fcntl(toPage_, F_SETFD, FD_CLOEXEC);
    fcntl(fromPage_, F_SETFD, FD_CLOEXEC);
  }

  ~NodePage() {
    if (toPage_ >= 0) close(toPage_);
    if (fromPage_ >= 0) close(fromPage_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    std::remove(harness_.c_str());
  }

  // The page's answer to `script`, as a web view gives it.
  std::string eval(const std::string& script) {
    std::string line = scriptStringLiteral(script) + "\n";
    for (size_t done = 0; done < line.size();) {
      ssize_t n = write(toPage_, line.data() + done, line.size() - done);
      if (n <= 0) return fail("the page went away");
      done += static_cast<size_t>(n);
    }
    std::string answer;
    for (;;) {
      pollfd p{fromPage_, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) return fail("the page did not answer");
      char c;
      if (read(fromPage_, &c, 1) != 1) return fail("the page went away");
      if (c == '\n') break;
      answer += c;
    }
    return percentDecode(answer);
  }

  // Binds a headless web view to this page.
  void attach(kit::HeadlessWebView* w) {
    w->setScriptHandler([this](const std::string& script) -> std::optional<std::string> { return eval(script); });
  }

 private:
  std::string fail(const char* why) {
    ADD_FAILURE() << why;
    return "\x01";
  }

  std::string harness_;
  pid_t pid_ = -1;
  int toPage_ = -1;
  int fromPage_ = -1;
};

class ScriptEngineTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    if (!nodeAvailable()) GTEST_SKIP() << "no JavaScript engine (node) on this machine";
    VeskPagePasswordDatabase::sharedInstance()->resetForTesting();
    page = std::make_unique<NodePage>(std::getenv("TOLVA_HOME"));
  }
  void TearDown() override {
    clearOverlays();
    pages.clear();
    page.reset();
    VeskPagePasswordDatabase::sharedInstance()->resetForTesting();
    ShellTest::TearDown();
  }

  static std::string script(const char* name) {
    kit::Ref<kit::String> s = kit::Bundle::mainBundle()->textOfResource(name, "js", kit::Bundle::TextEncoding::UTF8);
    return s ? s->str() : std::string();
  }
  std::string typeOf(const std::string& global) { return page->eval("typeof window." + global); }

  std::unique_ptr<NodePage> page;
  std::vector<kit::Ref<VeskWebView>> pages;
};

// Texts with everything that could end a string or a script, and text
// beyond ASCII and beyond the basic plane.
const std::vector<std::string> kTrickyTexts = {
    "",
    "it's",
    "say \"hi\" \\ back\\slash \\'",
    "line\nbreak\r\n\ttab",
    "</script><script>alert(1)</script><!--",
    "J\xC3\xB6rg M\xC3\xBCller \xE2\x82\xAC 5 \xE6\x97\xA5\xE6\x9C\xAC",
    "sep\xE2\x80\xA8par\xE2\x80\xA9" "end",
    "\xF0\x9F\x98\x80 smile",
    std::string("nul\0after", 9),
    "%41%u0042 100%",
    "'); alert('x'); ('",
};

TEST_F(ScriptEngineTest, LiteralsEvaluateBackToExactlyTheirText) {
  for (const std::string& text : kTrickyTexts) {
    EXPECT_EQ(page->eval(scriptStringLiteral(text)), text) << text;
    EXPECT_EQ(page->eval("unescape(" + scriptStringLiteral(UIWebViewExpand::escapeForUnescape(text)) + ")"), text)
        << text;
  }
  // Bytes that are no UTF-8 arrive as U+FFFD, the rest intact.
  EXPECT_EQ(page->eval(scriptStringLiteral("a\xFF" "b\xC3")), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST_F(ScriptEngineTest, EachPageScriptDefinesWhatTheBrowserCallsAndMayRunAgain) {
  page->eval(R"(__page(['html', {}, ['body', {},
      ['a', {id: 'blank', target: '_blank', href: '/x?y=1'}, 'new window'],
      ['a', {id: 'named', target: 'other', href: 'https://other.test/z'}, ['b', {id: 'inner'}, 'named window']],
      ['a', {id: 'top', target: '_top', href: '/top'}, 'top'],
      ['a', {id: 'plain', href: '/plain'}, 'plain'],
      ['a', {id: 'js', target: '_blank', href: 'javascript:void(0)'}, 'script'],
      ['form', {id: 'f', name: 'fn'},
        ['input', {type: 'text', id: 'user', value: 'me'}],
        ['input', {type: 'PASSWORD', name: 'pw', value: 'secret'}]],
      ['input', {type: 'checkbox', id: 'remember'}]]], 'http://site.test/dir/page.html'))");

  const std::string context = VeskWebView::getContextJSCode();
  const std::string password = VeskWebView::getPasswordJSCode();
  const std::string search = script("search");
  // Every load start and finish: the scripts again and again.
  for (int round = 0; round < 3; ++round) {
    page->eval(context);
    page->eval("injectLinkTargets();");
    page->eval("injectPopupHandler(window);");
    page->eval(password);
    page->eval(search);
  }
  for (const char* f : {"isInjected", "injectLinkTargets", "injectPopupHandler", "scrollScrollElementIdAtPoint",
                        "findIdOfFormsWithPassword", "findNameOfFormsWithPassword", "findNumberOfInputs",
                        "getTypeOfInputAtIdx", "getValueOfInputAtIdx", "getIdOfInputAtIdx", "getNameOfInputAtIdx",
                        "Vesk_isInjected", "Vesk_FindAllOccurencesOfString", "Vesk_HighlightAllOccurencesOfString",
                        "Vesk_RemoveAllHighlights"})
    EXPECT_EQ(typeOf(f), "function") << f;
  EXPECT_EQ(page->eval("Vesk_FindResultCount"), "0");
  EXPECT_EQ(page->eval("Vesk_SearchResultCount"), "0");
  EXPECT_EQ(page->eval("isInjected().toString();"), "true");
  EXPECT_EQ(page->eval("Vesk_isInjected().toString();"), "true");

  // A link into another window opens one new tab however often the script went in.
  EXPECT_EQ(page->eval("__click('blank')"), "prevented");
  EXPECT_EQ(page->eval("__click('inner')"), "prevented");
  EXPECT_EQ(page->eval("__click('top')"), "default");
  EXPECT_EQ(page->eval("__click('plain')"), "default");
  EXPECT_EQ(page->eval("__click('js')"), "default");
  page->eval("window.open('/pop'); window.open('/here', '_self');");
  EXPECT_EQ(page->eval("__navigations()"),
            "[\"http://site.test/dir/newtabquorb58301946627/http://site.test/x?y=1\","
            "\"http://site.test/dir/newtabquorb58301946627/https://other.test/z\","
            "\"http://site.test/dir/newtabquorb58301946627/http://site.test/pop\"]");
  EXPECT_EQ(page->eval("__opened()"), "[[\"/here\",\"_self\"]]");
  // The browser takes the marker URL apart into the target.
  EXPECT_EQ(VeskWebView::extrackNewTab("http://site.test/dir/newtabquorb58301946627/http://site.test/x?y=1"),
            "http://site.test/x?y=1");

  // The form, as the password script reports it.
  EXPECT_EQ(page->eval("findIdOfFormsWithPassword()"), "f");
  EXPECT_EQ(page->eval("findNameOfFormsWithPassword()"), "fn");
  EXPECT_EQ(page->eval("findNumberOfInputs()"), "3");
  EXPECT_EQ(page->eval("getTypeOfInputAtIdx(1)"), "password");
  EXPECT_EQ(page->eval("getValueOfInputAtIdx(1)"), "secret");
  EXPECT_EQ(page->eval("getIdOfInputAtIdx(1)"), "");
  EXPECT_EQ(page->eval("getNameOfInputAtIdx(1)"), "pw");
  EXPECT_EQ(page->eval("getIdOfInputAtIdx(0)"), "user");
  EXPECT_EQ(page->eval("getTypeOfInputAtIdx(2)"), "checkbox");
  EXPECT_EQ(page->eval("getTypeOfInputAtIdx(3)"), "");
  page->eval("__page(['html', {}, ['body', {}, ['form', {}, ['input', {id: 'q'}]]]])");
  page->eval(password);
  EXPECT_EQ(page->eval("findIdOfFormsWithPassword()"), "");
  EXPECT_EQ(page->eval("findNameOfFormsWithPassword()"), "");
}

TEST_F(ScriptEngineTest, FindInPageCountsAndHighlightsWordsWithQuotes) {
  page->eval(R"(__page(['html', {}, ['head', {}, ['title', {}, 'it\'s the title'], ['script', {}, 'var s = "it\'s";']],
      ['body', {}, ['p', {}, 'It\'s here, it\'s there. ', ['b', {}, 'IT\'S'], ' Dr. M\u00fcller said "</script>".'],
      ['textarea', {}, 'it\'s typed']]]))");
  kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, nullptr, "http://site.test/", false);
  pages.push_back(p);
  p->willBeViewed();
  kit::HeadlessWebView* w = web(p.get());
  page->attach(w);
  const std::string body = page->eval("document.body.textContent");
  const std::string search = script("search");

  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, "it's"), 3);
  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, "m\xC3\xBCLLER"), 1);
  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, "\"</script>\""), 1);
  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, "'); alert('x"), 0);
  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, ".*"), 0);
  EXPECT_EQ(w->evaluatedCount(search), 1u);

  EXPECT_EQ(UIWebViewExpand::highlightAllOccurencesOfString(*w, "it's"), 3);
  EXPECT_EQ(UIWebViewExpand::numberOfHighlightedOfString(*w), 3);
  EXPECT_EQ(page->eval("document.getElementsByTagName('span').length"), "3");
  // Put in again (a later load start) and highlighting again: no highlight inside a highlight.
  page->eval(search);
  EXPECT_EQ(UIWebViewExpand::numberOfHighlightedOfString(*w), 3);
  EXPECT_EQ(UIWebViewExpand::highlightAllOccurencesOfString(*w, "IT'S"), 3);
  EXPECT_EQ(page->eval("document.getElementsByTagName('span').length"), "3");
  EXPECT_EQ(UIWebViewExpand::numberOfOccurencesOfString(*w, "it's"), 3);

  UIWebViewExpand::removeAllHighlights(*w);
  EXPECT_EQ(UIWebViewExpand::numberOfHighlightedOfString(*w), 0);
  EXPECT_EQ(page->eval("document.getElementsByTagName('span').length"), "0");
  EXPECT_EQ(page->eval("document.body.textContent"), body);
  EXPECT_EQ(page->eval("document.getElementsByTagName('p')[0].childNodes.length"), "3");
  EXPECT_EQ(UIWebViewExpand::highlightAllOccurencesOfString(*w, ""), 0);
}

TEST_F(ScriptEngineTest, ASavedLoginComesBackIntoThePageExactly) {
  const std::string user = "J\xC3\xB6rg 'O\"Neil' \\ \xF0\x9F\x98\x80 </script>";
  const std::string secret = "p\xC3\xA4ss\xE2\x80\xA8w%41rd'";
  auto form = [&](const std::string& userValue, const std::string& secretValue) {
    return "__page(['html', {}, ['body', {}, ['form', {id: 'login'},"
           "['input', {type: 'email', id: 'user', value: " + scriptStringLiteral(userValue) + "}],"
           "['input', {type: 'password', name: 'pw\\'s', value: " + scriptStringLiteral(secretValue) + "}],"
           "['input', {type: 'password', value: 'nameless'}]]]], 'https://login.test/signin')";
  };
  ASSERT_EQ(page->eval(form(user, secret)), "ok");
  kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, nullptr, "https://login.test/signin", false);
  pages.push_back(p);
  p->willBeViewed();
  kit::HeadlessWebView* w = web(p.get());
  page->attach(w);

  EXPECT_TRUE(w->fireShouldStart("https://login.test/session", kit::WebViewNavigationType::FormSubmitted));
  kit::ActionSheet* question = kit::ActionSheet::topVisibleSheet();
  ASSERT_TRUE(question);
  question->tapButtonWithTitle("Save Password");
  kit::Ref<kit::MutableDictionary> saved = VeskPagePasswordDatabase::sharedInstance()->retrieveByURL("login.test");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->count(), 2u);
  ASSERT_TRUE(saved->get<kit::String>("user"));
  EXPECT_EQ(saved->get<kit::String>("user")->str(), user);
  ASSERT_TRUE(saved->get<kit::String>("pw's"));
  EXPECT_EQ(saved->get<kit::String>("pw's")->str(), secret);

  // The next visit: an empty form, filled in when the page has loaded.
  page->eval(form("", ""));
  w->completeLoad();
  EXPECT_EQ(page->eval("document.getElementById('user').value"), user);
  EXPECT_EQ(page->eval("document.getElementsByName('pw\\'s')[0].value"), secret);
  EXPECT_EQ(page->eval("document.getElementsByTagName('input')[2].value"), "nameless");
  EXPECT_EQ(page->eval("isInjected().toString();"), "true");
}

TEST_F(ScriptEngineTest, TheTrackpadScrollsThePagesOwnScrollingElement) {
  page->eval(R"(__page(['html', {}, ['body', {},
      ['div', {id: 'box', style: {overflow: 'auto'}, props: {scrollHeight: 900, clientHeight: 300}},
        ['p', {id: 'inside'}, 'text']],
      ['div', {id: 'flat', props: {scrollHeight: 900, clientHeight: 300}}, ['p', {id: 'flatText'}, 'text']]]]))");
  kit::Ref<kit::HeadlessWebView> w = kit::make<kit::HeadlessWebView>();
  page->attach(w.get());
  page->eval(VeskWebView::getContextJSCode());

  page->eval("__pointAt('inside')");
  UIWebViewExpand::findScrollElementAndScroll(*w, {0, 40});
  UIWebViewExpand::findScrollElementAndScroll(*w, {0, 25});
  EXPECT_EQ(page->eval("document.getElementById('box').scrollTop"), "65");
  EXPECT_EQ(page->eval("scrollScrollElementIdAtPoint(0.000000,-5.000000);"), "box");
  // An element whose overflow is visible does not scroll itself.
  page->eval("__pointAt('flatText')");
  EXPECT_EQ(page->eval("scrollScrollElementIdAtPoint(0.000000,30.000000);"), "");
  EXPECT_EQ(page->eval("document.getElementById('flat').scrollTop"), "0");
}

}  // namespace
