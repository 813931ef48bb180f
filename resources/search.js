// Find in page: counts and highlights the matches of a text in the page's
// text, ignoring case. The browser puts this script into the page whenever
// Vesk_isInjected() does not answer true, so it may run more than once in
// the same page: everything it keeps lives in the page (the highlight
// elements and the two counts on the window), never in this closure.
//
// Globals the browser reads:
//   Vesk_isInjected()                           true
//   Vesk_FindAllOccurencesOfString(text)        counts, sets Vesk_FindResultCount
//   Vesk_HighlightAllOccurencesOfString(text)   highlights, sets Vesk_SearchResultCount
//   Vesk_RemoveAllHighlights()                  removes them, Vesk_SearchResultCount = 0
//   Vesk_FindResultCount, Vesk_SearchResultCount   numbers
(function () {
  'use strict';

  var HIGHLIGHT_CLASS = 'vesk-search-highlight';
  // Text in these elements is not shown as page text.
  var SKIPPED = { SCRIPT: 1, STYLE: 1, NOSCRIPT: 1, TEXTAREA: 1, SELECT: 1, OPTION: 1, TITLE: 1, HEAD: 1,
                  TEMPLATE: 1, IFRAME: 1, FRAME: 1, OBJECT: 1 };

  if (typeof window.Vesk_FindResultCount !== 'number') window.Vesk_FindResultCount = 0;
  if (typeof window.Vesk_SearchResultCount !== 'number') window.Vesk_SearchResultCount = 0;

  function pattern(text) {
    return new RegExp(String(text).replace(/[.*+?^${}()|[\]\\\/]/g, '\\$&'), 'gi');
  }

  // The page's document and those of the frames it may read.
  function documents() {
    var docs = [document];
    for (var t = 0; t < 2; t++) {
      var frames = document.getElementsByTagName(t === 0 ? 'iframe' : 'frame');
      for (var i = 0; i < frames.length; i++) {
        try {
          var d = frames[i].contentDocument;
          if (d && d.body) docs.push(d);
        } catch (e) {
          // A frame of another site keeps its text to itself.
        }
      }
    }
    return docs;
  }

  function textNodes(root) {
    var out = [];
    if (!root) return out;
    var stack = [root];
    while (stack.length) {
      var node = stack.pop();
      if (node.nodeType === 3) {
        if (node.data) out.push(node);
      } else if (node.nodeType === 1 || node.nodeType === 9 || node.nodeType === 11) {
        if (node.nodeType === 1 && SKIPPED[String(node.nodeName).toUpperCase()]) continue;
        var kids = node.childNodes;
        for (var i = kids.length - 1; i >= 0; i--) stack.push(kids[i]);
      }
    }
    return out;
  }

  function countIn(s, re) {
    var n = 0;
    var m;
    re.lastIndex = 0;
    while ((m = re.exec(s)) !== null) {
      if (m[0].length === 0) {
        re.lastIndex++;
        continue;
      }
      n++;
    }
    return n;
  }

  // Wraps each match in `node` in a highlight element; answers how many.
  function highlightNode(doc, node, re) {
    var s = node.data;
    var last = 0;
    var n = 0;
    var fragment = null;
    var m;
    re.lastIndex = 0;
    while ((m = re.exec(s)) !== null) {
      if (m[0].length === 0) {
        re.lastIndex++;
        continue;
      }
      if (!fragment) fragment = doc.createDocumentFragment();
      if (m.index > last) fragment.appendChild(doc.createTextNode(s.substring(last, m.index)));
      var mark = doc.createElement('span');
      mark.className = HIGHLIGHT_CLASS;
      mark.style.backgroundColor = 'yellow';
      mark.style.color = 'black';
      mark.appendChild(doc.createTextNode(m[0]));
      fragment.appendChild(mark);
      last = m.index + m[0].length;
      n++;
    }
    if (!fragment || !node.parentNode) return 0;
    if (last < s.length) fragment.appendChild(doc.createTextNode(s.substring(last)));
    node.parentNode.replaceChild(fragment, node);
    return n;
  }

  function isHighlight(e) {
    return (' ' + (e.className || '') + ' ').indexOf(' ' + HIGHLIGHT_CLASS + ' ') >= 0;
  }

  window.Vesk_isInjected = function () { return true; };

  window.Vesk_FindAllOccurencesOfString = function (text) {
    var total = 0;
    if (text !== undefined && text !== null && String(text) !== '') {
      var re = pattern(text);
      var docs = documents();
      for (var d = 0; d < docs.length; d++) {
        var nodes = textNodes(docs[d].body);
        for (var i = 0; i < nodes.length; i++) total += countIn(nodes[i].data, re);
      }
    }
    window.Vesk_FindResultCount = total;
    return total;
  };

  window.Vesk_RemoveAllHighlights = function () {
    var docs = documents();
    for (var d = 0; d < docs.length; d++) {
      var spans = docs[d].getElementsByTagName('span');
      var marks = [];
      for (var i = 0; i < spans.length; i++) if (isHighlight(spans[i])) marks.push(spans[i]);
      for (var j = 0; j < marks.length; j++) {
        var mark = marks[j];
        var parent = mark.parentNode;
        if (!parent) continue;
        while (mark.firstChild) parent.insertBefore(mark.firstChild, mark);
        parent.removeChild(mark);
        if (parent.normalize) parent.normalize();
      }
    }
    window.Vesk_SearchResultCount = 0;
  };

  window.Vesk_HighlightAllOccurencesOfString = function (text) {
    window.Vesk_RemoveAllHighlights();
    var total = 0;
    if (text !== undefined && text !== null && String(text) !== '') {
      var re = pattern(text);
      var docs = documents();
      for (var d = 0; d < docs.length; d++) {
        var nodes = textNodes(docs[d].body);
        for (var i = 0; i < nodes.length; i++) total += highlightNode(docs[d], nodes[i], re);
      }
    }
    window.Vesk_SearchResultCount = total;
    if (total > 0) {
      var spans = document.getElementsByTagName('span');
      for (var k = 0; k < spans.length; k++) {
        if (isHighlight(spans[k])) {
          if (spans[k].scrollIntoView) spans[k].scrollIntoView(false);
          break;
        }
      }
    }
    return total;
  };
})();
