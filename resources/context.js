// The page view's context script. Links and pop-ups that would open a new
// window become new-tab marker URLs, which the browser catches before the
// load and opens as a tab; the trackpads scroll the page's own scrolling
// elements through it.
//
// The browser runs it when isInjected() does not answer true and then calls
// injectLinkTargets() and injectPopupHandler(window) at every load start and
// finish, so each of these may run any number of times in the same page:
// what they install is marked on the document or window and installed once.
//
// Globals the browser calls: isInjected(), injectLinkTargets(),
// injectPopupHandler(window), scrollScrollElementIdAtPoint(dx, dy),
// getHTMLElementSrcAtPoint(x, y).
(function () {
  'use strict';

  var NEW_TAB = 'newtabquorb58301946627/';

  function absolute(url) {
    var a = document.createElement('a');
    a.href = url;
    return a.href || String(url);
  }

  function openInNewTab(url) {
    window.location.href = NEW_TAB + absolute(url);
  }

  // Whether a link or window.open() target names a window other than this
  // one and other than a frame of the page (which loads where it is).
  function opensNewWindow(target) {
    var t = String(target || '').toLowerCase();
    if (!t || t === '_self' || t === '_top' || t === '_parent') return false;
    if (t === '_blank' || t === '_new') return true;
    try {
      if (window.frames && window.frames[target]) return false;
    } catch (e) {
      // A frame of another site still is a frame of this page.
      return false;
    }
    return true;
  }

  function followable(href) {
    if (!href) return false;
    var h = String(href).replace(/^\s+/, '').toLowerCase();
    return h.indexOf('javascript:') !== 0 && h.charAt(0) !== '#';
  }

  function linkOf(node) {
    for (var n = node; n && n.nodeType === 1; n = n.parentNode) {
      var name = String(n.nodeName).toUpperCase();
      if (name === 'A' || name === 'AREA') return n;
    }
    return null;
  }

  window.isInjected = function () { return true; };

  // One listener on the document sees clicks on every link, also on links
  // the page adds later. A click the page has handled itself is left alone.
  window.injectLinkTargets = function () {
    var doc = document;
    if (!doc || doc.__veskLinkTargets || !doc.addEventListener) return;
    doc.__veskLinkTargets = true;
    doc.addEventListener('click', function (e) {
      if (e.defaultPrevented) return;
      var link = linkOf(e.target);
      if (!link || !opensNewWindow(link.getAttribute('target'))) return;
      var href = link.getAttribute('href');
      if (!followable(href)) return;
      e.preventDefault();
      openInNewTab(href);
    }, false);
  };

  // window.open() opens a new tab instead of a window; opening into this
  // window or one of its frames navigates as before.
  window.injectPopupHandler = function (w) {
    if (!w || w.__veskPopups) return;
    var original = w.open;
    w.__veskPopups = true;
    w.open = function (url, target) {
      if (!opensNewWindow(target === undefined ? '_blank' : target)) {
        return original ? original.apply(w, arguments) : null;
      }
      if (url && followable(url)) openInNewTab(url);
      return null;
    };
  };

  function canScroll(e, dx, dy) {
    if (!e || e === document.body || e === document.documentElement) return false;
    var style = window.getComputedStyle ? window.getComputedStyle(e) : null;
    var overflow = style ? String(style.overflow) + ' ' + String(style.overflowX) + ' ' + String(style.overflowY) : '';
    if (style && !/(auto|scroll)/.test(overflow)) return false;
    return (dy !== 0 && e.scrollHeight > e.clientHeight) || (dx !== 0 && e.scrollWidth > e.clientWidth);
  }

  // Scrolls the scrolling element in the middle of the window by (dx, dy)
  // pixels. Answers the element's id (its tag name when it has none), or ''
  // when there is no such element.
  window.scrollScrollElementIdAtPoint = function (dx, dy) {
    dx = Number(dx) || 0;
    dy = Number(dy) || 0;
    if (!document.elementFromPoint) return '';
    var e = document.elementFromPoint((window.innerWidth || 0) / 2, (window.innerHeight || 0) / 2);
    while (e && e.nodeType === 1 && !canScroll(e, dx, dy)) e = e.parentNode;
    if (!e || e.nodeType !== 1 || e === document.body || e === document.documentElement) return '';
    e.scrollLeft += dx;
    e.scrollTop += dy;
    return e.id || String(e.nodeName).toLowerCase();
  };

  function imageOf(node) {
    for (var n = node; n && n.nodeType === 1; n = n.parentNode) {
      if (String(n.nodeName).toUpperCase() === 'IMG') return n;
    }
    return null;
  }

  // What a long press at (x, y) in the window hits: '1' and a link, '2' and
  // an image's source, '3' and a link, a space and the image's source; ''
  // for anything else. Links and sources are absolute.
  window.getHTMLElementSrcAtPoint = function (x, y) {
    if (!document.elementFromPoint) return '';
    var e = document.elementFromPoint(Number(x) || 0, Number(y) || 0);
    if (!e) return '';
    var image = imageOf(e);
    var link = linkOf(e);
    var href = link && link.href ? String(link.href) : '';
    var src = image ? String(image.currentSrc || image.src || '') : '';
    if (href && image) return '3' + href + ' ' + src;
    if (href) return '1' + href;
    if (image) return '2' + src;
    return '';
  };
})();
