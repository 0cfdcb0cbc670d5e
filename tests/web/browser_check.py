#!/usr/bin/python3
"""The web book in a real browser: Debian's chromium through chromium-driver.

Writes the example project's book and a unit with hostile names and text,
then for every page: it loads without console errors, every link inside the
book leads to a page and an element that exist, the listing's visible text
(line numbers are not text) is the source's text, and tidy finds no error.

Usage: browser_check.py SCRIVANE_PRINT EXAMPLES_DIR
Exits 77 (skipped) when chromium, chromium-driver, selenium or tidy is missing.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

SKIP = 77

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.common.by import By
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(SKIP)

for tool in ("chromium", "chromedriver", "tidy"):
    if not shutil.which(tool):
        print(f"skipped: {tool} is not installed")
        sys.exit(SKIP)

program, examples = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="scrivane-web-")
env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
env.setdefault("QT_QPA_PLATFORM", "offscreen")
failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def write_book(args, folder, cross_links=False):
    # Without cross links unless asked: the rows counted then are the index's and lists'.
    links = [] if cross_links else ["--no-cross-links"]
    run = subprocess.run([program, *args, *links, "--format", "html", "-o", folder],
                         env=env,
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail(f"scrivane-print {' '.join(args)} exited {run.returncode}: {run.stderr}")
    return folder


book = write_book([os.path.join(examples, "inventory.dpr"), "--all"], os.path.join(work, "book"))
linked = write_book([os.path.join(examples, "inventory.dpr"), "--all"], os.path.join(work, "linked"),
                    cross_links=True)

# A unit whose name and text try to break out of the page.
hostile_dir = os.path.join(work, "hostile-src")
os.makedirs(hostile_dir)
hostile_name = "<img src=x onerror=alert(1)>.pas"
hostile_path = os.path.join(hostile_dir, hostile_name)
with open(hostile_path, "w") as f:
    f.write("unit hostile;\ninterface\nconst\n  A = '</pre><script>alert(1)</script>';\n"
            "  B = '<img src=x onerror=alert(2)>&amp;\"';\n"
            "{ </div><script>alert(3)</script> }\nimplementation\n"
            "procedure P; // <b onmouseover=alert(4)>\nbegin\nend;\nend.\n")
hostile = write_book([hostile_path], os.path.join(work, "hostile"))

options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files"):
    options.add_argument(argument)
options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
driver = webdriver.Chrome(service=webdriver.ChromeService(executable_path=shutil.which("chromedriver")),
                          options=options) if hasattr(webdriver, "ChromeService") else webdriver.Chrome(options=options)

ids_of = {}


def page_ids(path):
    if path not in ids_of:
        driver.get("file://" + urllib.parse.quote(path))
        ids_of[path] = set(driver.execute_script(
            "return Array.from(document.querySelectorAll('[id]')).map(e => e.id)"))
    return ids_of[path]


def non_blank(text):
    return re.sub(r"\s+", "", text).lower()


def check_page(folder, name, source_of):
    path = os.path.join(folder, name)
    driver.get("file://" + urllib.parse.quote(path))
    for entry in driver.get_log("browser"):
        if entry.get("level") in ("SEVERE", "WARNING"):
            fail(f"{name}: console: {entry.get('message')}")
    try:
        driver.switch_to.alert
        fail(f"{name}: a script ran")
    except NoAlertPresentException:
        pass
    for tag in ("script", "img", "iframe", "object"):
        if driver.find_elements(By.TAG_NAME, tag):
            fail(f"{name}: has a <{tag}> element")
    if driver.find_elements(By.CSS_SELECTOR, "[onerror],[onmouseover],[onload]"):
        fail(f"{name}: has an event handler attribute")
    if not driver.title or driver.execute_script("return document.documentElement.lang") == "":
        fail(f"{name}: no title or language")
    # The listing's text of the file itself (rows of include files apart).
    rows = driver.execute_script(
        "return Array.from(document.querySelectorAll('.listing .r')).map(r => [r.id, r.querySelector('.t').innerText])")
    heading = driver.find_element(By.TAG_NAME, "h1").text
    if rows and heading in source_of:
        shown = "".join(text for row_id, text in rows if not row_id.startswith("F"))
        with open(source_of[heading], encoding="cp1252", errors="replace") as f:
            # The page-break comment breaks the printed page and shows nothing.
            source = "".join(line for line in f if non_blank(line) != "{@newpage}")
        if non_blank(shown) != non_blank(source):
            a, b = non_blank(shown), non_blank(source)
            at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            fail(f"{name}: listing text differs from {heading} at {at}: page {a[at:at + 40]!r} file {b[at:at + 40]!r}")
    links = driver.execute_script(
        "return Array.from(document.querySelectorAll('a[href]')).map(a => a.getAttribute('href'))")
    for href in links:
        target = urllib.parse.urlsplit(href)
        if target.scheme or target.netloc:
            fail(f"{name}: link leaves the book: {href}")
            continue
        file_part = urllib.parse.unquote(target.path) or name
        target_path = os.path.join(folder, file_part)
        if not os.path.isfile(target_path):
            fail(f"{name}: link to a missing page: {href}")
            continue
        if target.fragment and urllib.parse.unquote(target.fragment) not in page_ids(target_path):
            fail(f"{name}: link to a missing place: {href}")
    tidy = subprocess.run(["tidy", "-errors", "-q", path], capture_output=True, text=True)
    if tidy.returncode >= 2:
        fail(f"{name}: tidy: {tidy.stderr.strip()}")
    return len(links)


sources = {name: os.path.join(examples, name) for name in os.listdir(examples)}
sources[hostile_name] = hostile_path
checked = 0
for folder in (book, hostile, linked):
    pages = sorted(n for n in os.listdir(folder) if n.endswith(".html"))
    if "index.html" not in pages:
        fail(f"{folder}: no index.html")
    for name in pages:
        check_page(folder, name, sources)
        checked += 1
# The links a reader follows: each unit named in the project file leads to
# its page, and every routine row of the index to a row of a unit's page.
driver.get("file://" + urllib.parse.quote(os.path.join(book, "index.html")))
unit_pages = {n for n in os.listdir(book) if n.endswith(".pas.html")}
project_links = set(driver.execute_script(
    "return Array.from(document.querySelectorAll('main a[href]')).map(a => a.getAttribute('href'))"))
if project_links != unit_pages:
    fail(f"index.html: the project file links {sorted(project_links)}, the units are {sorted(unit_pages)}")
index_rows = 0
if "Index-2.html" in os.listdir(book) or "routine-index.html" not in os.listdir(book):
    fail(f"the index page is not routine-index.html: {sorted(os.listdir(book))}")
for name in os.listdir(book):
    driver.get("file://" + urllib.parse.quote(os.path.join(book, name)))
    if name != "routine-index.html":
        continue
    rows = driver.execute_script(
        "return Array.from(document.querySelectorAll('main tr'))"
        ".filter(r => r.cells.length >= 3 && r.cells[0].innerText.trim() !== '')"
        ".map(r => [r.innerText, Array.from(r.querySelectorAll('a')).map(a => a.getAttribute('href'))])")
    entries = rows
    index_rows += len(entries)
    if len(entries) < 10:
        fail(f"{name}: only {len(entries)} index rows")
    for text, links in entries:
        if not links or not all(re.fullmatch(r"[\w.-]+\.pas\.html#L\d+", link) for link in links):
            fail(f"{name}: index row {text!r} leads to {links}")


def rows_and_links(folder):
    """Rows that lead somewhere, counted from what they are, and the links
    the pages hold (line numbers and form links apart)."""
    rows = links = 0
    for name in sorted(n for n in os.listdir(folder) if n.endswith(".html")):
        driver.get("file://" + urllib.parse.quote(os.path.join(folder, name)))
        links += driver.execute_script(
            "return document.querySelectorAll('main a[href]:not(.ln):not(p.form a)').length")
        title = driver.find_element(By.TAG_NAME, "h1").text
        if name == "routine-index.html":
            rows += driver.execute_script(
                "return Array.from(document.querySelectorAll('main tr'))"
                ".filter(r => r.cells.length >= 3 && r.cells[0].innerText.trim() !== '').length")
        elif title == "Cross-reference":
            # A declaration's row leads to its place, and so does each place
            # ("76/2") of the rows of its uses, which start with an empty cell.
            rows += driver.execute_script(
                "const rows = Array.from(document.querySelectorAll('main tr'));"
                "return rows.filter(r => r.cells.length >= 3 && r.cells[0].innerText.trim() !== '')"
                ".length + rows.filter(r => r.cells.length >= 2 && r.cells[0].innerText.trim() === '')"
                ".map(r => r.cells[1].innerText.split(/\\s+/).filter(w => /^\\d+(\\/\\d+)?$/.test(w))"
                ".length).reduce((a, b) => a + b, 0)")
        elif title.endswith(" routines"):
            # A routine's row holds its name and kind in cells of their own.
            rows += driver.execute_script(
                "return Array.from(document.querySelectorAll('main tr'))"
                ".filter(r => /\\b(procedure|function|constructor|destructor)\\b/i"
                ".test(r.innerText)).length")
    return rows, links


# As many links as rows that lead somewhere: each unit named in the project
# file, each routine of a unit's list, each index row.
rows, links = rows_and_links(book)
rows += len(unit_pages)
counted = [f"book {links}"]
if rows != links:
    fail(f"book: {links} links for {rows} index, routine-list and unit rows")
form_pages = {n for n in os.listdir(book) if re.search(r"\.(dfm|lfm)\.html$", n)}
form_links = []
for name in unit_pages:
    driver.get("file://" + urllib.parse.quote(os.path.join(book, name)))
    form_links += [(name, href) for href in driver.execute_script(
        "return Array.from(document.querySelectorAll('main p.form a')).map(a => a.getAttribute('href'))")]
if sorted(href for _, href in form_links) != sorted(form_pages) or not form_pages:
    fail(f"forms {sorted(form_pages)} are linked from {form_links}")
# With cross links, besides: each use the references find in the units and
# in the project file's code (a unit it names leads to its first page,
# counted above) leads to its declaration, and each routine's or type's
# name where it is declared to its entry in the Cross-reference.
listed = subprocess.run([program, "--list-xref", os.path.join(examples, "inventory.dpr")], env=env,
                        capture_output=True, text=True).stdout.splitlines()
uses = sum(1 for line in listed if re.match(r"U\t.*\.pas:", line))
unit_declarations = {line.split("\t")[1] for line in listed if re.match(r"D\t\d+\tunit\t", line)}
program_uses = sum(1 for line in listed if re.match(r"U\t.*\.dpr:", line)
                   and line.split("\t")[3] not in unit_declarations)
entries = sum(1 for line in listed
              if re.match(r"D\t\d+\t(?!unit|constant|variable)\w+\t.*\.pas:", line))
rows, links = rows_and_links(linked)
code_links = 0
for name in unit_pages:
    driver.get("file://" + urllib.parse.quote(os.path.join(linked, name)))
    code_links += driver.execute_script("return document.querySelectorAll('.listing a[href]:not(.ln)').length")
counted.append(f"cross-linked book {links} ({code_links} in the code)")
if uses < 100 or code_links != uses + entries:
    fail(f"cross-linked book: {code_links} links in the code for {uses} uses and {entries} declarations")
# The project file's page is text, not a listing: a name inside a word
# ("TMainForm" of "CreateForm(TMainForm,") is cut out of it and linked, as
# the PDF links it; so is Form1.
program_links = program_uses
driver.get("file://" + urllib.parse.quote(os.path.join(linked, "index.html")))
named = driver.execute_script(
    "return Array.from(document.querySelectorAll('main a[href]')).map(a => a.textContent)")
if "TMainForm" not in named or "Form1" not in named:
    fail(f"the project file's page links {named}, not TMainForm and Form1 as the PDF does")
if program_uses != 2 or links != rows + len(unit_pages) + uses + program_links + entries:
    fail(f"cross-linked book: {links} links for {rows} index, list and cross-reference rows, "
         f"{len(unit_pages)} units, {uses} uses, {program_links} in the project file "
         f"and {entries} declarations")
for args, folder in ((["--document", "procedures"], "procedures"), (["--all"], "unit-book")):
    written = write_book([os.path.join(examples, "stock.pas"), *args], os.path.join(work, folder))
    rows, links = rows_and_links(written)
    counted.append(f"{folder} {links}")
    if rows == 0 or rows != links:
        fail(f"stock.pas {' '.join(args)}: {links} links for {rows} routine-list and index rows")
# A book of many units: each page lists the units near its own and the
# book's lists; the first page lists them all. Every link still resolves.
many_dir = os.path.join(work, "many-src")
os.makedirs(many_dir)
many_units = 120
for n in range(1, many_units + 1):
    # u60 has more routines than a page lists open in its contents.
    routines = [f"P{n}_{r}" for r in range(40 if n == 60 else 1)]
    with open(os.path.join(many_dir, f"u{n}.pas"), "w") as f:
        f.write(f"unit u{n};\ninterface\n" + "".join(f"procedure {p};\n" for p in routines) +
                "implementation\n" + "".join(f"procedure {p};\nbegin\nend;\n" for p in routines) + "end.\n")
with open(os.path.join(many_dir, "many.dpr"), "w") as f:
    f.write("program many;\nuses\n  " + ",\n  ".join(f"u{n}" for n in range(1, many_units + 1)) +
            ";\nbegin\nend.\n")
many = write_book([os.path.join(many_dir, "many.dpr"), "--all"], os.path.join(work, "many"))
for name in ("index.html", "u1.pas.html", "u60.pas.html", f"u{many_units}.pas.html", "routine-index.html"):
    check_page(many, name, {})
    checked += 1
    driver.get("file://" + urllib.parse.quote(os.path.join(many, name)))
    listed_units = driver.execute_script(
        "return Array.from(document.querySelectorAll('nav.toc a[href$=\".pas.html\"]')).length")
    wanted = many_units if name == "index.html" else None
    if (wanted and listed_units != wanted) or (not wanted and not 0 < listed_units <= 41):
        fail(f"many units: {name} lists {listed_units} units in its contents")
    folded = driver.execute_script(
        "return Array.from(document.querySelectorAll('nav.toc details a')).length")
    if folded != (40 if name == "u60.pas.html" else 0):
        fail(f"many units: {name} folds {folded} of its own entries")
driver.quit()
if checked < 3:
    fail(f"only {checked} pages were written")
if index_rows == 0:
    fail("no index page")
print(f"{checked} pages checked, {index_rows} index rows followed, links equal to their rows: "
      f"{', '.join(counted)}; {len(failures)} failures")
shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
