// A classic script, so that it runs where the page's module cannot start: opened from a file,
// the browser refuses the module and the worker, and the page would wait for ever.
if (location.protocol === "file:") {
  const loading = document.getElementById("loading");
  loading.textContent =
    "This page was opened as a file, and browsers do not let such a page " +
    "start its program. Open it from a web server instead (a developer can run " +
    "tools/serve-web.sh, then open http://127.0.0.1:8000/).";
  loading.classList.add("failure");
}
