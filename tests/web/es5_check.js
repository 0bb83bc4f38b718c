// Reads [{where, code, handler}] as JSON on standard input and prints one line per finding: code that
// is not ECMAScript 5, or that names a later built-in the embedded engine lacks (sources in
// docs/BROWSER-ENGINE.md; engine_profile.js removes these and a few more while the page runs in
// Chromium). Prints nothing when all is well. Argument: the folder that holds node_modules/acorn.
"use strict";
const acorn = require(require("path").resolve(process.argv[2], "node_modules", "acorn"));

const GLOBALS = new Set(["Promise", "fetch", "Symbol", "Proxy", "Reflect", "URL", "URLSearchParams", "TextDecoder",
  "TextEncoder", "AbortController"]);
const STATICS = {
  Object: ["assign", "entries", "values", "is"], Array: ["from", "of"], String: ["fromCodePoint", "raw"],
  Number: ["isNaN", "isInteger", "isFinite"], Math: ["trunc", "sign"],
};
// Methods of later prototypes, found by name whatever they are called on. forEach is here for
// node lists (the engine's have none); arrays have it, but a loop with an index serves both.
const METHODS = new Set(["includes", "startsWith", "endsWith", "repeat", "padStart", "padEnd", "codePointAt", "find",
  "findIndex", "fill", "copyWithin", "flat", "flatMap", "closest", "matches", "forEach", "replaceWith", "prepend"]);

const findings = [];
function walk(node, report) {
  if (Array.isArray(node)) return node.forEach((n) => walk(n, report));
  if (!node || typeof node.type != "string") return;
  if (node.type == "MemberExpression" && !node.computed) {
    const name = node.property.name, obj = node.object;
    if (obj.type == "Identifier" && STATICS[obj.name] && STATICS[obj.name].includes(name)) report(node, obj.name + "." + name);
    else if (obj.type == "Identifier" && (obj.name == "window" || obj.name == "self") && GLOBALS.has(name)) report(node, name);
    else if (METHODS.has(name)) report(node, "." + name);
    return walk(obj, report);
  }
  if (node.type == "Property" && !node.computed) return walk(node.value, report);
  if (node.type == "Identifier" && GLOBALS.has(node.name)) report(node, node.name);
  for (const key of Object.keys(node)) if (key != "type" && typeof node[key] == "object") walk(node[key], report);
}

for (const script of JSON.parse(require("fs").readFileSync(0, "utf8"))) {
  const code = script.handler ? "(function (event) {\n" + script.code + "\n})" : script.code;
  const shift = script.handler ? 1 : 0;
  let ast;
  try {
    ast = acorn.parse(code, { ecmaVersion: 5, sourceType: "script", locations: true });
  } catch (e) {
    findings.push(script.where + ":" + (e.loc ? e.loc.line - shift : "?") + ": not ECMAScript 5: " + e.message);
    continue;
  }
  walk(ast, (node, what) => findings.push(script.where + ":" + (node.loc.start.line - shift) + ": " + what +
    " is a later built-in the engine does not have"));
}
process.stdout.write(findings.map((f) => f + "\n").join(""));
