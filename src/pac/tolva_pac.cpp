// tolva-pac SCRIPT-FILE URL HOST: runs a proxy auto-configuration script's
// FindProxyForURL(URL, HOST) with the standard helper functions and prints its answer.
// Exit 0 with the answer on stdout; 2 when the script fails or answers no string.
// The browser runs it as a child process and kills it when it takes too long.

#include <arpa/inet.h>
#include <jsc/jsc.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char* kHelpers = R"JS(
function isPlainHostName(host) { return host.indexOf('.') < 0; }
function dnsDomainIs(host, domain) {
  return host.length >= domain.length && host.substring(host.length - domain.length) == domain;
}
function localHostOrDomainIs(host, hostdom) { return host == hostdom || hostdom.lastIndexOf(host + '.', 0) == 0; }
function isResolvable(host) { return dnsResolve(host) !== null; }
function convert_addr(ip) {
  var b = ip.split('.');
  return (((b[0] & 0xff) << 24) | ((b[1] & 0xff) << 16) | ((b[2] & 0xff) << 8) | (b[3] & 0xff)) >>> 0;
}
function isInNet(ipaddr, pattern, maskstr) {
  if (!/^\d+\.\d+\.\d+\.\d+$/.test(ipaddr)) { ipaddr = dnsResolve(ipaddr); if (ipaddr === null) return false; }
  var m = convert_addr(maskstr);
  return ((convert_addr(ipaddr) & m) >>> 0) == ((convert_addr(pattern) & m) >>> 0);
}
function dnsDomainLevels(host) { return host.split('.').length - 1; }
function shExpMatch(url, pattern) {
  pattern = pattern.replace(/[.+^${}()|[\]\\]/g, '\\$&').replace(/\*/g, '.*').replace(/\?/g, '.');
  return new RegExp('^' + pattern + '$').test(url);
}
var __days = ['SUN', 'MON', 'TUE', 'WED', 'THU', 'FRI', 'SAT'];
var __months = ['JAN', 'FEB', 'MAR', 'APR', 'MAY', 'JUN', 'JUL', 'AUG', 'SEP', 'OCT', 'NOV', 'DEC'];
function __args(a) {
  var list = Array.prototype.slice.call(a), gmt = list.length && list[list.length - 1] == 'GMT';
  if (gmt) list.pop();
  return { list: list, now: new Date(), gmt: gmt };
}
function weekdayRange() {
  var a = __args(arguments), d = a.gmt ? a.now.getUTCDay() : a.now.getDay();
  var i1 = __days.indexOf(a.list[0]), i2 = a.list.length > 1 ? __days.indexOf(a.list[1]) : i1;
  if (i1 < 0 || i2 < 0) return false;
  return i1 <= i2 ? (d >= i1 && d <= i2) : (d >= i1 || d <= i2);
}
function dateRange() {
  var a = __args(arguments), n = a.now;
  var cur = { d: a.gmt ? n.getUTCDate() : n.getDate(), m: a.gmt ? n.getUTCMonth() : n.getMonth(),
              y: a.gmt ? n.getUTCFullYear() : n.getFullYear() };
  function kind(v) { return typeof v == 'string' ? 'm' : (v > 31 ? 'y' : 'd'); }
  function val(v) { return typeof v == 'string' ? __months.indexOf(v) : v; }
  var l = a.list;
  if (l.length == 1) return cur[kind(l[0])] == val(l[0]);
  var half = l.length / 2, from = {}, to = {}, keys = [];
  for (var i = 0; i < half; i++) { from[kind(l[i])] = val(l[i]); to[kind(l[i + half])] = val(l[i + half]); keys.push(kind(l[i])); }
  function num(o) { var s = 0; ['y', 'm', 'd'].forEach(function (k) { s = s * 100 + (keys.indexOf(k) >= 0 ? o[k] : 0); }); return s; }
  var c = num(cur), f = num(from), t = num(to);
  return f <= t ? (c >= f && c <= t) : (c >= f || c <= t);
}
function timeRange() {
  var a = __args(arguments), n = a.now, l = a.list;
  var h = a.gmt ? n.getUTCHours() : n.getHours(), mi = a.gmt ? n.getUTCMinutes() : n.getMinutes(),
      s = a.gmt ? n.getUTCSeconds() : n.getSeconds();
  if (l.length == 1) return h == l[0];
  var c, f, t;
  if (l.length == 2) { c = h; f = l[0]; t = l[1]; return f <= t ? (c >= f && c < t) : (c >= f || c < t); }
  if (l.length == 4) { c = h * 60 + mi; f = l[0] * 60 + l[1]; t = l[2] * 60 + l[3]; }
  else { c = h * 3600 + mi * 60 + s; f = l[0] * 3600 + l[1] * 60 + l[2]; t = l[3] * 3600 + l[4] * 60 + l[5]; }
  return f <= t ? (c >= f && c <= t) : (c >= f || c <= t);
}
)JS";

std::string resolve(const char* host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* res = nullptr;
  if (!host || getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return {};
  char text[INET_ADDRSTRLEN] = {0};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(res);
  return text;
}

JSCValue* dnsResolve(const char* host, gpointer) {
  JSCContext* ctx = jsc_context_get_current();
  const std::string ip = resolve(host);
  return ip.empty() ? jsc_value_new_null(ctx) : jsc_value_new_string(ctx, ip.c_str());
}

char* myIpAddress(gpointer) {
  char name[256] = {0};
  std::string ip;
  if (gethostname(name, sizeof name - 1) == 0) ip = resolve(name);
  return g_strdup(ip.empty() ? "127.0.0.1" : ip.c_str());
}

bool failed(JSCContext* ctx) {
  if (JSCException* e = jsc_context_get_exception(ctx)) {
    std::fprintf(stderr, "tolva-pac: %s\n", jsc_exception_get_message(e));
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tolva-pac SCRIPT-FILE URL HOST\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return 2;
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string script = buffer.str();

  JSCContext* ctx = jsc_context_new();
  JSCValue* resolveFn = jsc_value_new_function(ctx, "dnsResolve", G_CALLBACK(dnsResolve), nullptr, nullptr,
                                               JSC_TYPE_VALUE, 1, G_TYPE_STRING);
  jsc_context_set_value(ctx, "dnsResolve", resolveFn);
  g_object_unref(resolveFn);
  JSCValue* ipFn = jsc_value_new_function(ctx, "myIpAddress", G_CALLBACK(myIpAddress), nullptr, nullptr,
                                          G_TYPE_STRING, 0);
  jsc_context_set_value(ctx, "myIpAddress", ipFn);
  g_object_unref(ipFn);

  g_object_unref(jsc_context_evaluate(ctx, kHelpers, -1));
  JSCValue* loaded = jsc_context_evaluate(ctx, script.c_str(), gssize(script.size()));
  g_object_unref(loaded);
  if (failed(ctx)) return 2;
  JSCValue* fn = jsc_context_get_value(ctx, "FindProxyForURL");
  if (!jsc_value_is_function(fn)) {
    std::fprintf(stderr, "tolva-pac: the script has no FindProxyForURL\n");
    return 2;
  }
  JSCValue* result = jsc_value_function_call(fn, G_TYPE_STRING, argv[2], G_TYPE_STRING, argv[3], G_TYPE_NONE);
  if (failed(ctx) || !jsc_value_is_string(result)) return 2;
  char* text = jsc_value_to_string(result);
  std::printf("%s\n", text);
  g_free(text);
  g_object_unref(result);
  g_object_unref(fn);
  g_object_unref(ctx);
  return 0;
}
