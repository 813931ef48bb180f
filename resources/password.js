// The page view's password script: what the browser asks about the page's
// forms to offer saving a login. Every answer is text.
(function () {
  function passwordForm(attribute) {
    var forms = document.forms;
    for (var i = 0; i < forms.length; i++) {
      var inputs = forms[i].getElementsByTagName('input');
      for (var j = 0; j < inputs.length; j++) {
        if ((inputs[j].type || '').toLowerCase() === 'password') return forms[i].getAttribute(attribute) || 'form' + i;
      }
    }
    return '';
  }

  function inputAt(i) {
    return document.getElementsByTagName('input')[i];
  }

  window.findIdOfFormsWithPassword = function () { return passwordForm('id'); };
  window.findNameOfFormsWithPassword = function () { return passwordForm('name'); };
  window.findNumberOfInputs = function () { return String(document.getElementsByTagName('input').length); };
  window.getTypeOfInputAtIdx = function (i) { var e = inputAt(i); return e ? (e.type || 'text').toLowerCase() : ''; };
  window.getValueOfInputAtIdx = function (i) { var e = inputAt(i); return e ? e.value : ''; };
  window.getIdOfInputAtIdx = function (i) { var e = inputAt(i); return e ? (e.id || '') : ''; };
  window.getNameOfInputAtIdx = function (i) { var e = inputAt(i); return e ? (e.name || '') : ''; };
})();
