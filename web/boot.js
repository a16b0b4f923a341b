// A classic script, so that it runs where the page's module cannot start: opened from a file,
// the browser refuses the module and the worker, and the page would wait for ever.
if (location.protocol === "file:") {
  const loading = document.getElementById("loading");
  loading.textContent = "This page was opened as a file, and a browser does not let a page " +
    "opened so start its program. Serve the folder with a web server instead, for example " +
    "tools/serve-web.sh (then open http://127.0.0.1:8000/), and open the page from there.";
  loading.classList.add("failure");
}
