// The embedded engine as the left page meets it (document mode edge, browser emulation 11001),
// put into a copy of the page before the page's own scripts:
// - the native XMLHttpRequest refuses file addresses: open() throws "Access is denied.";
// - the XML objects exist only as ActiveX objects, and the constructor is hidden from detection:
//   window.ActiveXObject is undefined and "ActiveXObject" in window is false, yet
//   new ActiveXObject("Microsoft.XMLDOM") works. A top-level let gives exactly that: later
//   scripts see the name, window has no such property;
// - the XML document loads an address resolved against the page, decodes the bytes in the
//   encoding its XML declaration names, and offers only the members below (async, load,
//   parseError, documentElement, getElementsByTagName; length, item() and [i] on node lists;
//   text on elements). With async left true, load returns at once and the document fills on a
//   later timer (engineClock below).
// - the script dialect is ECMAScript 5 with a few later pieces: the later built-ins the engine lacks
//   are removed before the page's scripts run (docs/BROWSER-ENGINE.md names each with its source).
// LIST_FILES maps each list file's absolute address to its bytes in base64; absent means missing.
// The tests reach two things the page does not see: engineFiles (the same map, to change a file
// while the page is open) and engineClock (below).
let engineFiles = /*LIST_FILES*/{};

// The page's timers and dates run on a clock of the test's own: nothing fires until the test calls
// engineClock.advance(ms), which runs the timers due by then in the order of their due time (ties in
// the order they were set) and leaves the clock at now + ms. So a test reads the page's state at the
// instants it chooses, however long anything takes on the machine.
let engineClock = (function () {
  "use strict";
  var RealDate = Date, now = RealDate.now(), timers = [], lastId = 0;
  function add(fn, ms, args, every) {
    var delay = Math.max(0, Number(ms) || 0);
    timers.push({ id: ++lastId, due: now + delay, fn: fn, args: args, every: every ? Math.max(1, delay) : 0 });
    return lastId;
  }
  function clear(id) {
    timers = timers.filter(function (t) { return t.id !== id; });
  }
  window.setTimeout = function (fn, ms) { return add(fn, ms, Array.prototype.slice.call(arguments, 2), false); };
  window.setInterval = function (fn, ms) { return add(fn, ms, Array.prototype.slice.call(arguments, 2), true); };
  window.clearTimeout = window.clearInterval = clear;
  function FakeDate(a, b, c, d, e, f, g) {
    if (!(this instanceof FakeDate)) return new RealDate(now).toString();
    switch (arguments.length) {
      case 0: return new RealDate(now);
      case 1: return new RealDate(a);
      default: return new RealDate(a, b, c === undefined ? 1 : c, d || 0, e || 0, f || 0, g || 0);
    }
  }
  FakeDate.prototype = RealDate.prototype;
  FakeDate.now = function () { return now; };
  FakeDate.UTC = RealDate.UTC;
  FakeDate.parse = RealDate.parse;
  window.Date = FakeDate;
  return {
    advance: function (ms) {
      var until = now + ms;
      for (;;) {
        var next = null;
        timers.forEach(function (t) { if (t.due <= until && (!next || t.due < next.due)) next = t; });
        if (!next) break;
        now = next.due;
        if (next.every) next.due += next.every; else clear(next.id);
        if (typeof next.fn == "function") next.fn.apply(window, next.args); else (0, eval)(String(next.fn));
      }
      now = until;
    }
  };
})();

let ActiveXObject = (function (files) {
  "use strict";
  var URL = window.URL, TextDecoder = window.TextDecoder;
  var open = XMLHttpRequest.prototype.open;
  XMLHttpRequest.prototype.open = function (method, url) {
    if (new URL(url, document.baseURI).protocol === "file:") {
      var denied = new Error("Access is denied.");
      denied.number = -2147024891;
      throw denied;
    }
    return open.apply(this, arguments);
  };

  function bytesOf(b64) {
    var raw = atob(b64), bytes = new Uint8Array(raw.length);
    for (var i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
    return bytes;
  }

  function decode(bytes) {
    var head = new TextDecoder("ascii").decode(bytes.subarray(0, 200));
    var m = /^<\?xml[^>]*\sencoding\s*=\s*["']([^"']+)["']/.exec(head);
    return new TextDecoder(m ? m[1] : "utf-8", { fatal: true }).decode(bytes);
  }

  function nodeList(nodes) {
    var list = { length: nodes.length, item: function (i) { return i >= 0 && i < nodes.length ? nodes[i] : null; } };
    for (var i = 0; i < nodes.length; i++) list[i] = nodes[i];
    return list;
  }

  function elementsOf(parent, name) {
    return nodeList(Array.prototype.map.call(parent.getElementsByTagName(name), element));
  }

  function element(e) {
    return { text: e.textContent, getElementsByTagName: function (name) { return elementsOf(e, name); } };
  }

  function XmlDocument() {
    var self = this, parsed = null;
    this.async = true;
    this.readyState = 4;
    this.documentElement = null;
    this.parseError = { errorCode: 0, reason: "" };
    this.getElementsByTagName = function (name) { return parsed ? elementsOf(parsed, name) : nodeList([]); };
    this.load = function (address) {
      var url = new URL(String(address), document.baseURI).href;
      parsed = null;
      self.documentElement = null;
      function read() {
        if (!Object.prototype.hasOwnProperty.call(files, url)) {
          self.parseError = { errorCode: -2146697210, reason: "The system cannot locate the object specified." };
          return false;
        }
        var doc = null;
        try {
          doc = new DOMParser().parseFromString(decode(bytesOf(files[url])), "text/xml");
        } catch (e) {
          doc = null;
        }
        if (!doc || !doc.documentElement || doc.getElementsByTagName("parsererror").length) {
          self.parseError = { errorCode: -1072896760, reason: "The document is not well-formed." };
          return false;
        }
        parsed = doc;
        self.documentElement = element(doc.documentElement);
        self.parseError = { errorCode: 0, reason: "" };
        return true;
      }
      if (!self.async) return read();
      self.readyState = 1;
      setTimeout(function () {
        read();
        self.readyState = 4;
        if (typeof self.onreadystatechange == "function") self.onreadystatechange();
      }, 0);
      return true;
    };
  }

  return function ActiveXObject(progId) {
    if (/^(Microsoft\.XMLDOM|Msxml2\.DOMDocument(\.[36]\.0)?)$/i.test(String(progId))) return new XmlDocument();
    throw new Error("Automation server can't create object");
  };
})(engineFiles);
document.documentElement.setAttribute("data-activex-detectable", String(!!window.ActiveXObject || "ActiveXObject" in window));

// Later built-ins the engine's newest document mode does not have (sources in docs/BROWSER-ENGINE.md).
// Removed last, so the profile above keeps what it took for itself.
(function () {
  "use strict";
  var missing = {
    window: ["Promise", "fetch", "Symbol", "Proxy", "Reflect", "URL", "URLSearchParams", "TextDecoder",
             "TextEncoder", "AbortController"],
    Object: ["assign", "entries", "values", "is"],
    Array: ["from", "of"],
    "Array.prototype": ["includes", "find", "findIndex", "fill", "copyWithin", "entries", "keys", "values", "flat", "flatMap"],
    String: ["fromCodePoint", "raw"],
    "String.prototype": ["startsWith", "endsWith", "includes", "repeat", "padStart", "padEnd", "codePointAt"],
    Number: ["isNaN", "isInteger", "isFinite"],
    Math: ["trunc", "sign"],
    "Element.prototype": ["closest", "matches", "remove", "append", "prepend", "before", "after", "replaceWith"],
    "NodeList.prototype": ["forEach", "entries", "keys", "values"]
  };
  Object.keys(missing).forEach(function (where) {
    var owner = where == "window" ? window : where.split(".").reduce(function (o, k) { return o[k]; }, window);
    missing[where].forEach(function (name) {
      delete owner[name];
      if (name in owner) throw new Error("the profile cannot remove " + where + "." + name);
    });
  });
})();
