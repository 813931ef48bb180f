// The page view's context script: links and pop-ups that would open a new
// window are turned into new-tab marker URLs, which the browser catches
// before the load and opens as a tab. Safe to run more than once.
(function () {
  var NEW_TAB = 'newtabquorb58301946627/';

  function absolute(url) {
    var a = document.createElement('a');
    a.href = url;
    return a.href;
  }

  function openInNewTab(url) {
    window.location.href = NEW_TAB + absolute(url);
  }

  window.isInjected = function () { return true; };

  // Links with a target other than this window open in a new tab.
  window.injectLinkTargets = function () {
    var links = document.getElementsByTagName('a');
    for (var i = 0; i < links.length; i++) {
      var link = links[i];
      var target = (link.getAttribute('target') || '').toLowerCase();
      if (!target || target === '_self' || target === '_top' || target === '_parent') continue;
      if (link.__veskTarget) continue;
      link.__veskTarget = true;
      link.addEventListener('click', function (e) {
        var href = this.getAttribute('href');
        if (!href || href.indexOf('javascript:') === 0) return;
        e.preventDefault();
        openInNewTab(href);
      }, false);
    }
  };

  // window.open() opens a new tab instead of a window.
  window.injectPopupHandler = function (w) {
    if (!w || w.__veskPopups) return;
    w.__veskPopups = true;
    w.open = function (url) {
      if (url) openInNewTab(url);
      return null;
    };
  };

  // Scrolls the scrollable element under a point (page coordinates) by one screen.
  window.scrollScrollElementIdAtPoint = function (x, y) {
    var e = document.elementFromPoint(x, y);
    while (e && e !== document.body) {
      if (e.scrollHeight > e.clientHeight) {
        e.scrollTop += e.clientHeight;
        return 'scrolled';
      }
      e = e.parentNode;
    }
    return '';
  };
})();
