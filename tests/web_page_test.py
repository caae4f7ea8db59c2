"""The page in a real browser: headless Chromium, driven by Selenium, opens the
built page from disk, runs the example through its buttons, the keyboard and
window.ephemeris, loads a broken element file from disk, saves the table, and
checks what it shows against the console program built from the same
sources: the status, the report, the --check text, the first records and the
record count, the saved file's bytes, the track in the picture; and that the
browser logged no error and requested nothing but the page itself.

Usage: /usr/bin/python3 web_page_test.py PAGE NATIVE_PROGRAM SOURCE_DIR
(Debian's chromium, chromium-driver and python3-selenium)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

PAGE, NATIVE_PROGRAM, SOURCE_DIR = (os.path.abspath(p) for p in sys.argv[1:4])
sys.path.insert(0, os.path.join(SOURCE_DIR, "bench"))
from compare_tables import ninth_digit_units  # noqa: E402

EXAMPLE = os.path.join(SOURCE_DIR, "examples", "DATOS.DAT")
ABORT_STATUS = 134  # what the page gives after a report, and a shell for SIGABRT
WAIT = 60  # seconds for anything the page does
SHOWN_RECORDS = 10


def run_native(elements, args=()):
    """(status, standard output, standard error, table or None) of the console
    program run on `elements` (bytes) in a fresh directory."""
    with tempfile.TemporaryDirectory() as directory:
        with open(os.path.join(directory, "DATOS.DAT"), "wb") as f:
            f.write(elements)
        result = subprocess.run([NATIVE_PROGRAM, *args], cwd=directory, capture_output=True)
        table_path = os.path.join(directory, "VESK.DAT")
        table = None
        if os.path.exists(table_path):
            with open(table_path, "rb") as f:
                table = f.read()
    status = ABORT_STATUS if result.returncode == -6 else result.returncode
    return status, result.stdout.decode("latin-1"), result.stderr.decode("latin-1"), table


def first_records(table, count):
    """The text of the first `count` records of a table (eight items each,
    whatever the line breaks)."""
    text = table.decode("latin-1")
    items = 0
    for end, char in enumerate(text):
        if char != " " and char != "\n" and (end + 1 == len(text) or text[end + 1] in " \n"):
            items += 1
            if items == 8 * count:
                return table[: text.index("\n", end) + 1]
    return table


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="ephemeris-page-")
        cls.downloads = os.path.join(cls.scratch, "downloads")
        os.mkdir(cls.downloads)
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        # Headless, as root on a build machine, and with nothing that would
        # reach the network on the browser's own account.
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--window-size=1200,1000",
                     f"--user-data-dir={os.path.join(cls.scratch, 'profile')}"):
            options.add_argument(flag)
        options.add_experimental_option("prefs", {
            "download.default_directory": cls.downloads,
            "download.prompt_for_download": False,
        })
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
        cls.browser = webdriver.Chrome(service=Service(driver_path), options=options)
        cls.browser.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": cls.downloads})
        cls.browser.set_script_timeout(WAIT)
        cls.page_url = "file://" + PAGE
        cls.requests = []
        cls.console = []
        with open(EXAMPLE, "rb") as f:
            cls.example = f.read()
        cls.native = run_native(cls.example)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.browser.get(self.page_url)
        self.wait_for(lambda: self.browser.execute_script("return !!window.ephemeris"))

    def tearDown(self):
        # Kept for the last test, which looks at everything the others did.
        type(self).console += self.browser.get_log("browser")
        for entry in self.browser.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            # The page's own requests: those of the documents it opens (the
            # browser's own pages load chrome:// resources meanwhile).
            params = message["params"]
            if (message["method"] == "Network.requestWillBeSent"
                    and params.get("documentURL", "").startswith(self.page_url)):
                type(self).requests.append(params["request"]["url"])

    def wait_for(self, condition):
        return WebDriverWait(self.browser, WAIT).until(lambda _: condition())

    def element(self, id_):
        return self.browser.find_element(By.ID, id_)

    def finished(self):
        """Waits for the result of the check or run under way; returns its status line."""
        self.wait_for(lambda: self.element("status").text.startswith(("Exit status", "The program")))
        return self.element("status").text

    def set_elements(self, text):
        self.browser.execute_script(
            "const area = document.getElementById('elements');"
            "area.value = arguments[0]; area.dispatchEvent(new Event('input'));", text)

    def api(self, method, text):
        return self.browser.execute_async_script(
            f"window.ephemeris.{method}(arguments[0]).then(arguments[1],"
            " (failure) => arguments[1]({failure: String(failure)}));", text)

    def assert_same_values(self, table, expected):
        """The table is the console program's within the rule for last digits."""
        ours, theirs = table.split(), expected.split()
        self.assertEqual(len(ours), len(theirs))
        differing = 0
        for mine, reference in zip(ours, theirs):
            if mine != reference:
                differing += 1
                self.assertLessEqual(ninth_digit_units(mine, reference), 1, (mine, reference))
        self.assertLessEqual(differing * 10000, len(theirs))
        if differing == 0:
            self.assertEqual(table, expected)

    def test_runs_the_example_through_the_button(self):
        status, _, _, table = self.native
        self.element("run").click()
        self.assertEqual(self.finished(), "Exit status 0: a normal run.")
        self.assertTrue(self.element("report").get_attribute("hidden"))
        count = len(table.split()) // 8
        self.assertEqual(self.element("count").text,
                         f"VESK.DAT holds {count} records ({len(table)} bytes);"
                         f" the first {SHOWN_RECORDS}:")
        shown = self.browser.execute_script(
            "return document.getElementById('records').textContent")
        self.assert_same_values(shown.encode(), first_records(table, SHOWN_RECORDS))

        # The track: one point a record (more where it runs to the chart's
        # edges at 0 h), and the panels against the date.
        track = self.browser.find_element(By.CSS_SELECTOR, "#picture svg path.track")
        self.assertEqual(track.get_attribute("data-records"), str(count))
        points = track.get_attribute("d").count("M") + track.get_attribute("d").count("L")
        self.assertGreaterEqual(points, count)
        self.assertLessEqual(points, count + 4)
        self.assertEqual(len(self.browser.find_elements(By.CSS_SELECTOR, "#picture path.series")), 4)
        self.assertIn("2026-01-01", self.element("picture").text)

        # The link saves the bytes the program wrote.
        self.element("save").click()
        saved = os.path.join(self.downloads, "VESK.DAT")
        self.wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) == len(table))
        with open(saved, "rb") as f:
            saved_bytes = f.read()
        page_table = self.api("run", self.example.decode())["table"]
        self.assertEqual(saved_bytes, page_table.encode())
        self.assert_same_values(saved_bytes, table)

    def test_checks_the_example_through_the_button(self):
        _, out, _, _ = run_native(self.example, ["--check"])
        self.element("check").click()
        self.assertEqual(self.finished(), "Exit status 0: a run would go ahead.")
        self.assertEqual(self.browser.execute_script(
            "return document.getElementById('stdout').textContent"), out)
        self.assertTrue(self.element("table").get_attribute("hidden"))

    def test_runs_from_the_keyboard(self):
        area = self.element("elements")
        area.click()
        area.send_keys(Keys.CONTROL, Keys.ENTER)
        self.assertEqual(self.finished(), "Exit status 0: a normal run.")
        # Focus moves to the result, and the buttons take the keyboard.
        self.assertEqual(self.browser.switch_to.active_element.get_attribute("id"), "result-title")
        self.element("check").send_keys(Keys.ENTER)
        self.assertEqual(self.finished(), "Exit status 0: a run would go ahead.")

    def test_reports_a_broken_file_loaded_from_disk(self):
        # CR LF line ends and a Latin-1 degree sign: the bytes must reach the
        # program as they are, for the report to name them.
        lines = self.example.split(b"\n")
        broken = (lines[0].replace(b"19.39019754", b"19\xb023'") + b"\r\n" + lines[1] + b"\r\n"
                  + lines[2] + b"\r\n")
        path = os.path.join(self.scratch, "DATOS.DAT")
        with open(path, "wb") as f:
            f.write(broken)
        status, _, report, _ = run_native(broken)
        self.assertEqual(status, ABORT_STATUS)
        self.element("load").send_keys(path)
        self.wait_for(lambda: "19" in self.element("elements").get_attribute("value")
                      and "\ufffd" in self.element("elements").get_attribute("value"))
        self.element("run").click()
        self.assertEqual(self.finished(), "Exit status 134: the run ended with the report"
                         " below, as the console program aborts.")
        self.assertEqual(self.browser.execute_script(
            "return document.getElementById('report').textContent"), report)
        self.assertIn("\\xb0", report)
        self.assertTrue(self.element("table").get_attribute("hidden"))

        # Edited, the text is what goes to the program.
        self.set_elements(self.example.decode()[: self.example.decode().rindex("365")])
        self.element("run").click()
        self.finished()
        self.assertTrue(self.browser.execute_script(
            "return document.getElementById('report').textContent").startswith(
                "list in: end of file\n"))

    def test_scripts_run_and_check_through_window_ephemeris(self):
        status, out, err, table = self.native
        result = self.api("run", self.example.decode())
        self.assertEqual((result["status"], result["stdout"], result["report"]), (status, out, err))
        self.assert_same_values(result["table"].encode(), table)

        broken = self.example.decode().replace("365", "1E1")
        status, _, report, _ = run_native(broken.encode())
        result = self.api("run", broken)
        self.assertEqual((result["status"], result["table"], result["report"]),
                         (status, None, report))
        check_status, check_out, check_report, _ = run_native(broken.encode(), ["--check"])
        result = self.api("check", broken)
        self.assertEqual((result["status"], result["stdout"], result["report"]),
                         (check_status, check_out, check_report))
        self.assertEqual(check_status, 2)

    def test_fits_a_phone(self):
        self.browser.set_window_size(390, 844)
        try:
            self.element("run").click()
            self.finished()
            overflow = self.browser.execute_script(
                "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
            self.assertLessEqual(overflow, 0)
        finally:
            self.browser.set_window_size(1200, 1000)

    def test_zz_logged_no_error_and_loaded_nothing(self):
        # Runs last (unittest sorts by name): everything the others did.
        errors = [entry for entry in self.console if entry["level"] in ("SEVERE", "WARNING")]
        self.assertEqual(errors, [])
        self.assertTrue(self.requests)
        others = [url for url in self.requests
                  if url != self.page_url and not url.startswith(("data:", "blob:"))]
        self.assertEqual(others, [], f"{len(others)} requests")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
