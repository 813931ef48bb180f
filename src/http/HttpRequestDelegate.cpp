#include "http/HttpRequestDelegate.h"

namespace tolva {

HttpSelector HttpRequestDelegate::requestStartedSelector() {
  return {kRequestStarted, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object*) { d.requestStarted(r); }};
}

HttpSelector HttpRequestDelegate::didReceiveResponseHeadersSelector() {
  return {kRequestDidReceiveResponseHeaders, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object* a) {
            d.requestDidReceiveResponseHeaders(r, dynamic_cast<kit::Dictionary*>(a));
          }};
}

HttpSelector HttpRequestDelegate::willRedirectSelector() {
  return {kRequestWillRedirectToURL, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object* a) {
            d.requestWillRedirectToURL(r, dynamic_cast<kit::URL*>(a));
          }};
}

HttpSelector HttpRequestDelegate::requestFinishedSelector() {
  return {kRequestFinished, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object*) { d.requestFinished(r); }};
}

HttpSelector HttpRequestDelegate::requestFailedSelector() {
  return {kRequestFailed, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object*) { d.requestFailed(r); }};
}

HttpSelector HttpRequestDelegate::didReceiveDataSelector() {
  return {kRequestDidReceiveData, [](HttpRequestDelegate& d, HttpRequest* r, kit::Object* a) {
            d.requestDidReceiveData(r, dynamic_cast<kit::Data*>(a));
          }};
}

}  // namespace tolva
