#pragma once
// The style and the script of report.html, inline in the page: no font, no
// file and no address outside the page is ever asked for. The script reads
// the analysis from the page's JSON block and puts every text from the data
// in with textContent, never as markup.

namespace orthaxis::html {

inline constexpr const char* kStyle = R"CSS(
body{font-family:sans-serif;margin:1.5em auto;max-width:1100px;padding:0 1em;color:#222}
h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}
table{border-collapse:collapse;font-size:.85em;margin:.5em 0}
th,td{border:1px solid #ddd;padding:.2em .5em;text-align:right}
th{background:#f2f2f2;cursor:pointer;user-select:none}
th[aria-sort=ascending]::after{content:" \25B2"}th[aria-sort=descending]::after{content:" \25BC"}
td:nth-child(2),th:nth-child(2){text-align:left}
.scroll{max-height:28em;overflow:auto;display:inline-block}
#tip{position:absolute;background:#fff;border:1px solid #888;padding:.3em .5em;font-size:.8em;
pointer-events:none;box-shadow:2px 2px 4px #0003;max-width:28em;overflow-wrap:anywhere}
#biplot svg{border:1px solid #ccc;max-width:100%;height:auto;cursor:grab;touch-action:none}
#biplot line.variable{pointer-events:visibleStroke}
.hide-objects g.objects,.hide-objects [data-kind=o]{display:none}
.hide-variables g.variables,.hide-variables [data-kind=v]{display:none}
.hide-supplementary g.supplementary-objects,.hide-supplementary g.supplementary-object-labels,.hide-supplementary g.supplementary-variables,.hide-supplementary g.centroids,.hide-supplementary g.legend-supplementary{display:none}
pre{background:#f8f8f8;padding:.5em;overflow:auto;max-height:30em;font-size:.8em}
.note{color:#555;font-size:.9em}
)CSS";

inline constexpr const char* kScript = R"JS(
(function () {
  "use strict";
  var D = JSON.parse(document.getElementById("orthaxis-data").textContent);
  function fmt(v) {
    if (v === null || v === undefined) return "";
    var a = Math.abs(v);
    if (a !== 0 && (a >= 1e5 || a < 1e-3)) return v.toExponential(3);
    return String(Number(v.toFixed(4)));
  }
  function el(tag, text) {
    var e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // Sortable tables: a click on a heading sorts by its column, again the other way.
  function table(holder, head, rows) {
    var t = el("table"), thead = el("thead"), tr = el("tr"), tbody = el("tbody");
    head.forEach(function (h, c) {
      var th = el("th", h);
      th.addEventListener("click", function () {
        var up = th.getAttribute("aria-sort") !== "ascending";
        Array.prototype.forEach.call(tr.children, function (x) { x.removeAttribute("aria-sort"); });
        th.setAttribute("aria-sort", up ? "ascending" : "descending");
        rows.sort(function (a, b) {
          var x = a[c], y = b[c];
          if (x === y) return 0;
          if (x === null) return 1;
          if (y === null) return -1;
          var r = typeof x === "number" && typeof y === "number" ? x - y : String(x).localeCompare(String(y));
          return up ? r : -r;
        });
        fill();
      });
      tr.appendChild(th);
    });
    thead.appendChild(tr);
    function fill() {
      tbody.textContent = "";
      rows.forEach(function (r) {
        var row = el("tr");
        r.forEach(function (v) { row.appendChild(el("td", typeof v === "number" ? fmt(v) : v === null ? "" : v)); });
        tbody.appendChild(row);
      });
    }
    fill();
    t.appendChild(thead);
    t.appendChild(tbody);
    holder.appendChild(t);
  }
  var q = D.axes;
  table(document.getElementById("eigen-table"), ["axis", "eigenvalue", "percent", "cumulative %"],
        D.eigen.map(function (r) { return r.slice(); }));
  function points(set, holder, prefix) {
    var head = ["index", "label"], k;
    for (k = 1; k <= q; ++k) head.push(prefix + k);
    for (k = 1; k <= q; ++k) head.push("cos2_" + k);
    for (k = 1; k <= q; ++k) head.push("ctr_" + k);
    var rows = set.index.map(function (i, r) {
      return [i + 1, set.label[r]].concat(set.coord[r], set.cos2[r], set.ctr[r]);
    });
    table(holder, head, rows);
    set.row = {};
    set.index.forEach(function (i, r) { set.row[i] = r; });
  }
  points(D.objects, document.getElementById("object-table"), "F");
  points(D.variables, document.getElementById("variable-table"), "G");

  var box = document.getElementById("biplot");
  var svg = box.querySelector("svg");
  var tip = document.getElementById("tip");
  if (!svg) return;
  var a1 = D.plane[0], a2 = D.plane[1];
  function describe(set, i) {
    var r = set.row[i];
    if (r === undefined) return null;
    return [set.label[r],
            "axis " + (a1 + 1) + ": " + fmt(set.coord[r][a1]) + ", axis " + (a2 + 1) + ": " + fmt(set.coord[r][a2]),
            "cos2: " + fmt(set.cos2[r][a1]) + ", " + fmt(set.cos2[r][a2]) + " (plane " + fmt(set.cos2[r][a1] + set.cos2[r][a2]) + ")",
            "contribution %: " + fmt(set.ctr[r][a1]) + ", " + fmt(set.ctr[r][a2])];
  }
  svg.addEventListener("mouseover", function (e) {
    var t = e.target, i = t.getAttribute("data-i"), j = t.getAttribute("data-j");
    var lines = i !== null ? describe(D.objects, Number(i)) : j !== null ? describe(D.variables, Number(j)) : null;
    if (!lines) return;
    tip.textContent = "";
    lines.forEach(function (l) { tip.appendChild(el("div", l)); });
    tip.style.left = (e.pageX + 12) + "px";
    tip.style.top = (e.pageY + 12) + "px";
    tip.hidden = false;
  });
  svg.addEventListener("mouseout", function () { tip.hidden = true; });

  // Zoom with the wheel or the buttons, pan by dragging: the viewBox moves.
  var b = svg.viewBox.baseVal, home = [b.x, b.y, b.width, b.height], v = home.slice();
  function apply() { svg.setAttribute("viewBox", v.join(" ")); }
  function zoom(k, cx, cy) {
    v[0] = cx - (cx - v[0]) * k; v[1] = cy - (cy - v[1]) * k; v[2] *= k; v[3] *= k; apply();
  }
  function centre() { return [v[0] + v[2] / 2, v[1] + v[3] / 2]; }
  svg.addEventListener("wheel", function (e) {
    e.preventDefault();
    var r = svg.getBoundingClientRect();
    zoom(e.deltaY < 0 ? 0.8 : 1.25, v[0] + (e.clientX - r.left) / r.width * v[2],
         v[1] + (e.clientY - r.top) / r.height * v[3]);
  }, { passive: false });
  var drag = null;
  svg.addEventListener("pointerdown", function (e) { drag = [e.clientX, e.clientY, v[0], v[1]]; });
  window.addEventListener("pointerup", function () { drag = null; });
  svg.addEventListener("pointermove", function (e) {
    if (!drag || !e.buttons) return;
    var r = svg.getBoundingClientRect();
    v[0] = drag[2] - (e.clientX - drag[0]) / r.width * v[2];
    v[1] = drag[3] - (e.clientY - drag[1]) / r.height * v[3];
    apply();
  });
  document.getElementById("zoom-in").addEventListener("click", function () { var c = centre(); zoom(0.8, c[0], c[1]); });
  document.getElementById("zoom-out").addEventListener("click", function () { var c = centre(); zoom(1.25, c[0], c[1]); });
  document.getElementById("zoom-reset").addEventListener("click", function () { v = home.slice(); apply(); });
  [["show-objects", "hide-objects"], ["show-variables", "hide-variables"],
   ["show-supplementary", "hide-supplementary"]].forEach(function (p) {
    var c = document.getElementById(p[0]);
    if (!c) return;  // a switch the page does not have
    c.addEventListener("change", function () { box.classList.toggle(p[1], !c.checked); });
  });
})();
)JS";

}  // namespace orthaxis::html
