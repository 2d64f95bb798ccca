// Exports nothing: the launcher's "--add-opens" is what lets the runtime call main.
module app {
}
