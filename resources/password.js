// The page view's password script: what the browser asks about the page's
// inputs when a form is submitted, to offer saving a login. Every answer is
// text. It only defines functions, so running it again changes nothing.
// This file must stay pure ASCII: the browser reads it as ASCII.
//
// Globals the browser calls:
//   findIdOfFormsWithPassword()    ids of the forms holding a password input ('' when none)
//   findNameOfFormsWithPassword()  the same by name
//   findNumberOfInputs()           how many input elements the page has
//   getTypeOfInputAtIdx(i), getValueOfInputAtIdx(i),
//   getIdOfInputAtIdx(i), getNameOfInputAtIdx(i)   of the input at index i (from 0)
(function () {
  'use strict';

  function hasPasswordInput(form) {
    var inputs = form.getElementsByTagName('input');
    for (var j = 0; j < inputs.length; j++) {
      if (String(inputs[j].type || '').toLowerCase() === 'password') return true;
    }
    return false;
  }

  // The given attribute of every form holding a password input, comma
  // separated; a form without it is named by its place ("form0", ...), so
  // the answer is never empty while such a form exists.
  function formsWithPassword(attribute) {
    var forms = document.forms || document.getElementsByTagName('form');
    var names = [];
    for (var i = 0; i < forms.length; i++) {
      if (hasPasswordInput(forms[i])) names.push(forms[i].getAttribute(attribute) || 'form' + i);
    }
    return names.join(',');
  }

  function inputAt(i) {
    var inputs = document.getElementsByTagName('input');
    var k = Number(i);
    return k >= 0 && k < inputs.length ? inputs[k] : null;
  }

  function text(v) {
    return v === undefined || v === null ? '' : String(v);
  }

  window.findIdOfFormsWithPassword = function () { return formsWithPassword('id'); };
  window.findNameOfFormsWithPassword = function () { return formsWithPassword('name'); };
  window.findNumberOfInputs = function () { return String(document.getElementsByTagName('input').length); };
  window.getTypeOfInputAtIdx = function (i) {
    var e = inputAt(i);
    return e ? (text(e.type) || 'text').toLowerCase() : '';
  };
  window.getValueOfInputAtIdx = function (i) { var e = inputAt(i); return e ? text(e.value) : ''; };
  window.getIdOfInputAtIdx = function (i) { var e = inputAt(i); return e ? text(e.id) : ''; };
  window.getNameOfInputAtIdx = function (i) { var e = inputAt(i); return e ? text(e.name) : ''; };
})();
