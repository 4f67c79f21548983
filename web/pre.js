// Put inside the module emscripten makes (--pre-js). The page may connect
// nowhere, and its policy refuses even a fetch of the binary embedded in
// this script as a data: URL: without a fetch of its own, the module
// decodes that binary itself.
// eslint-disable-next-line no-unused-vars
var fetch;
