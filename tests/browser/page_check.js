// report.html in headless Chromium: no script error, no network request,
// the biplot drawn, a tooltip on hover, a table sorted, a layer switched
// off, and hostile labels shown as text. Usage: node page_check.js ORTHAXIS CHROMIUM
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const zlib = require("zlib");
const { execFileSync } = require("child_process");
const puppeteer = require("puppeteer-core");

const [binary, browserPath] = process.argv.slice(2).map((a, i) => (i === 0 ? path.resolve(a) : a));
let failed = 0, passed = 0;
function check(ok, what) {
  if (ok) ++passed;
  else { ++failed; console.error("FAIL: " + what); }
}

// Labels that try to break out of every context of the page.
const hostile = ["<script>window.__pwned=1</script>", "\"quoted\" 'single'", "]]> <!-- x",
                 "<img src=x onerror=\"window.__pwned=2\">", "ctrl\u0001\u001bend", "W".repeat(300),
                 "</script><script>window.__pwned=3</script>", "line\u2028sep"];
function table() {
  const rows = ["name,a,\"<b>b</b>\",c,d"];
  let seed = 7;
  const rnd = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
  for (let i = 0; i < 40; ++i) {
    const name = i < hostile.length ? hostile[i] : "obj" + i;
    const cells = [0, 1, 2, 3].map((k) => (rnd() * 10 + (i % 3) * k).toFixed(2));
    rows.push("\"" + name.replace(/"/g, "\"\"") + "\"," + cells.join(","));
  }
  return rows.join("\n") + "\n";
}

// The share of pixels of a PNG (8-bit RGB or RGBA, not interlaced) that are not white.
function inked(png) {
  let at = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at), type = png.toString("ascii", at + 4, at + 8);
    const data = png.subarray(at + 8, at + 8 + length);
    if (type === "IHDR") { width = data.readUInt32BE(0); height = data.readUInt32BE(4); channels = data[9] === 6 ? 4 : 3; }
    if (type === "IDAT") idat.push(data);
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  let prev = Buffer.alloc(stride), ink = 0;
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const row = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? row[x - channels] : 0, b = prev[x], c = x >= channels ? prev[x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      row[x] = (row[x] + predictor) & 255;
    }
    for (let x = 0; x < width; ++x)
      if (row[x * channels] < 200 || row[x * channels + 1] < 200 || row[x * channels + 2] < 200) ++ink;
    prev = row;
  }
  return ink / (width * height);
}

(async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "orthaxis-browser-"));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "orthaxis-profile-"));
  let browser;
  try {
    fs.writeFileSync(path.join(dir, "t.csv"), table());
    execFileSync(binary, ["--import", "t.csv", "w", "--html"], { cwd: dir, stdio: "ignore" });
    const page_file = path.join(dir, "w", "report.html");
    const url = "file://" + page_file;
    browser = await puppeteer.launch({
      executablePath: browserPath,
      headless: true,
      args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile],
    });
    const page = await browser.newPage();
    await page.setViewport({ width: 1200, height: 900 });
    const errors = [], requests = [];
    page.on("pageerror", (e) => errors.push(String(e)));
    page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    await page.setRequestInterception(true);
    page.on("request", (r) => {
      if (r.url() !== url) requests.push(r.url());
      r.url() === url ? r.continue() : r.abort();
    });
    await page.goto(url, { waitUntil: "load" });
    check(errors.length === 0, "script errors: " + errors.join("; "));
    check(requests.length === 0, "requests beyond the page: " + requests.join(", "));
    check(await page.evaluate(() => window.__pwned === undefined), "a label ran as script");
    check(await page.evaluate(() => document.scripts.length === 2), "two script elements");
    check(await page.evaluate(() => document.querySelectorAll("img, #reading b:not(:first-child)").length === 0),
          "a label became markup");
    const body = await page.evaluate(() => document.body.textContent);
    for (const h of ["<script>window.__pwned=1</script>", "]]> <!-- x", "<b>b</b>"])
      check(body.includes(h), "shown as text: " + h);

    // The biplot is drawn.
    const biplot = await page.$("#biplot svg");
    const shot = await biplot.screenshot({ type: "png" });
    const ink = inked(shot);
    check(ink > 0.01 && ink < 0.6, "the biplot is drawn (ink " + ink.toFixed(3) + ")");
    const circles = await page.$$("#biplot circle.object");
    check(circles.length === 40, "40 objects drawn, not " + circles.length);

    // Hovering the first object shows its label as text in the tooltip.
    const first = await page.$("#biplot circle.object[data-i=\"0\"]");
    const box = await first.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    const tip = await page.evaluate(() => { const t = document.getElementById("tip"); return [t.hidden, t.textContent]; });
    check(!tip[0] && tip[1].startsWith(hostile[0]) && tip[1].includes("cos2"), "tooltip: " + tip[1]);
    const arrow = await page.$("#biplot line.variable[data-j=\"1\"]");
    const end = await page.evaluate((l) => { const r = l.getBoundingClientRect(); const x2 = l.x2.baseVal.value, x1 = l.x1.baseVal.value;
      return [x2 > x1 ? r.right - 2 : r.left + 2, l.y2.baseVal.value < l.y1.baseVal.value ? r.top + 2 : r.bottom - 2]; }, arrow);
    await page.mouse.move(end[0], end[1]);
    const tip2 = await page.evaluate(() => document.getElementById("tip").textContent);
    check(tip2.startsWith("<b>b</b>"), "arrow tooltip: " + tip2);

    // Sorting the objects by F1, up then down.
    const column = async () => page.evaluate(() => Array.from(document.querySelectorAll("#object-table tbody tr"))
      .map((r) => Number(r.children[2].textContent)));
    await page.evaluate(() => Array.from(document.querySelectorAll("#object-table th")).find((t) => t.textContent === "F1").click());
    const up = await column();
    check(up.length === 40 && up.every((v, i) => i === 0 || up[i - 1] <= v), "sorted up by F1");
    await page.evaluate(() => Array.from(document.querySelectorAll("#object-table th")).find((t) => t.textContent.startsWith("F1")).click());
    const down = await column();
    check(down.every((v, i) => i === 0 || down[i - 1] >= v), "sorted down by F1");

    // Switching the objects off hides their points and labels; zoom changes the view.
    await page.click("#show-objects");
    const hidden = await page.evaluate(() => [getComputedStyle(document.querySelector("#biplot g.objects")).display,
      getComputedStyle(document.querySelector("#biplot g.variables")).display]);
    check(hidden[0] === "none" && hidden[1] !== "none", "objects switched off: " + hidden);
    const before = await page.evaluate(() => document.querySelector("#biplot svg").getAttribute("viewBox"));
    await page.click("#zoom-in");
    const after = await page.evaluate(() => document.querySelector("#biplot svg").getAttribute("viewBox"));
    check(before !== after, "zoom changes the view");
    check(errors.length === 0, "script errors after use: " + errors.join("; "));
  } catch (e) {
    ++failed;
    console.error("FAIL: " + (e && e.stack ? e.stack : e));
  } finally {
    if (browser) await browser.close();
    fs.rmSync(dir, { recursive: true, force: true });
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(passed + " passed, " + failed + " failed");
  process.exit(failed ? 1 : 0);
})();
