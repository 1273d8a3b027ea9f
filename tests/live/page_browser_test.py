#!/usr/bin/python3
"""The live page in a real browser (headless Chromium through Selenium).

tivaro-replay --live plays tests/live/follow.scenario while Chromium, as a 360-px phone,
follows bibs 203 and 201 (?volg=203,201). Halfway, the replay is ended with SIGTERM (it must
exit with 0) and started again on the same port with the whole race: the page must reconnect
by itself and show the race's end, a take-back and a hand passing included, without a reload.

    page_browser_test.py REPLAY_TOOL DEMO_WORKBOOK SCENARIO [--screenshots DIR]

Exit status 77 (skipped) only when Chromium, its driver or Selenium is not installed.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("skipped: python3-selenium is not installed (scripts/setup.sh installs it)")
    sys.exit(77)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
if not CHROMIUM or not os.path.exists(DRIVER):
    print("skipped: chromium or chromium-driver is not installed (scripts/setup.sh installs them)")
    sys.exit(77)

replay, workbook, scenario = sys.argv[1:4]
shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
work = tempfile.mkdtemp(prefix="tivaro-live-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_replay(lines, port, pace_ms):
    folder = os.path.join(work, "run%d" % len(os.listdir(work)))
    os.makedirs(folder)
    shutil.copy(workbook, os.path.join(folder, "race.xlsx"))
    path = os.path.join(folder, "race.scenario")
    with open(path, "w") as out:
        out.write("".join(lines))
    err = open(os.path.join(folder, "err.txt"), "w+")
    process = subprocess.Popen(
        [replay, "--engine", "embedded", "--data-dir", os.path.join(folder, "data"),
         "--copy-to", os.path.join(folder, "copies"), "--live", str(port),
         "--pace", str(pace_ms), path],
        stdout=subprocess.DEVNULL, stderr=err)
    return process, err


def wait_for_line(err, text, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        err.seek(0)
        if text in err.read():
            return True
        time.sleep(0.05)
    err.seek(0)
    print(err.read())
    return False


def stop(process):
    process.send_signal(signal.SIGTERM)
    return process.wait(timeout=20)


def wait_until(driver, predicate, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            if predicate(driver):
                return True
        except Exception:  # the page is re-rendered under the query
            pass
        time.sleep(0.1)
    return False


def card(driver, bib):
    return driver.find_element(By.CSS_SELECTOR, '#gevolgd .kaart[data-bib="%s"]' % bib)


def row_cells(driver, bib):
    row = driver.find_element(By.CSS_SELECTOR, '#rijen tr[data-bib="%s"]' % bib)
    return [td.text for td in row.find_elements(By.TAG_NAME, "td")]


with open(scenario) as f:
    lines = f.readlines()
half = next(i for i, line in enumerate(lines) if line.startswith("passing 7405583 10:1:2.50")) + 1

options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=360,740"):
    options.add_argument(argument)
options.binary_location = CHROMIUM
driver = webdriver.Chrome(service=Service(DRIVER), options=options)


def screen(width, height, mobile):
    """A phone's or a hall screen's viewport (headless windows have a minimum width)."""
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})


screen(360, 740, True)
port = free_port()
first, second = None, None
try:
    first, first_err = start_replay(lines[:half], port, 20)
    check(wait_for_line(first_err, "live uitslagen op"), "the first replay serves")
    driver.get("http://127.0.0.1:%d/?volg=203,201" % port)
    check(wait_for_line(first_err, "afgespeeld"), "the first half is played")
    check(wait_until(driver, lambda d: card(d, "203").find_element(By.CLASS_NAME, "ronde").text
                     == "0:58.00"), "203's first lap, followed, after half the race")
    check(wait_until(driver, lambda d: d.find_element(By.ID, "verbinding").text == "Live"),
          "the page says it is live")
    check(stop(first) == 0, "SIGTERM ends tivaro-replay --live with 0")
    check(wait_until(driver, lambda d: "opnieuw verbinden" in d.find_element(By.ID, "verbinding").text),
          "the page says the connection is gone")

    second, second_err = start_replay(lines, port, 20)
    check(wait_for_line(second_err, "afgespeeld"), "the whole race is played")
    check(wait_until(driver, lambda d: card(d, "203").find_element(By.CLASS_NAME, "ronde").text
                     == "0:58.50", 30), "the page reconnected and shows 203's last lap")
    check(card(driver, "201").find_element(By.CLASS_NAME, "ronde").text == "1:01.25",
          "201's last lap is in its card")
    order = [c.get_attribute("data-bib") for c in driver.find_elements(By.CSS_SELECTOR, "#gevolgd .kaart")]
    check(order == ["203", "201"], "the followed bibs stay in the order of the address: %s" % order)
    # The take-back: 203's misread 0:21.00 lap is gone, its laps are the real ones.
    cells = row_cells(driver, "203")
    check(cells[:2] == ["1", "203"] and cells[5:8] == ["0:58.00", "0:59.50", "0:58.50"],
          "203 placed first with its three laps: %s" % cells)
    check(cells[-1] == "2:56.00", "203's total: %s" % cells[-1])
    # The hand passing: 204's second lap.
    cells = row_cells(driver, "204")
    check(cells[5:7] == ["1:03.00", "1:01.00"], "204's laps with the hand passing: %s" % cells)
    check("Laatste passering 10:03:04.25" in driver.find_element(By.ID, "laatste").text,
          "the time of the latest passing")
    check(driver.find_element(By.ID, "sport").text == "Lopen", "the sport heads the page")
    # Tapping a row follows its bib, and the address keeps it.
    driver.find_element(By.CSS_SELECTOR, '#rijen tr[data-bib="204"]').click()
    check(wait_until(driver, lambda d: "volg=203,201,204" in d.current_url), "the address keeps a tapped bib")
    check(card(driver, "204").find_element(By.CLASS_NAME, "ronde").text == "1:01.00", "204 followed")
    # Biggest thing on screen: the latest lap time of a followed bib.
    sizes = driver.execute_script(
        "return [parseFloat(getComputedStyle(document.querySelector('.kaart .ronde')).fontSize),"
        " Math.max(...[...document.querySelectorAll('body *')].filter(e => !e.closest('.kaart .ronde'))"
        ".map(e => parseFloat(getComputedStyle(e).fontSize)))]")
    check(sizes[0] > sizes[1], "the followed lap time is the largest type: %s" % sizes)
    widths = driver.execute_script(
        "return [window.innerWidth, document.documentElement.scrollWidth]")
    check(widths[0] == 360 and widths[1] <= 360,
          "the page itself fits a 360-px phone, the table scrolls inside: %s" % widths)
    driver.find_element(By.ID, "opRugnummer").click()
    bibs = [r.get_attribute("data-bib") for r in driver.find_elements(By.CSS_SELECTOR, "#rijen tr")]
    check(bibs == sorted(bibs, key=int), "by bib: %s" % bibs)
    # The hall screen: large type, and a list longer than the screen scrolls by itself.
    screen(1280, 720, False)
    driver.get("http://127.0.0.1:%d/?bord" % port)
    check(wait_until(driver, lambda d: "bord" in d.find_element(By.TAG_NAME, "body").get_attribute("class")),
          "?bord makes a hall screen")
    check(wait_until(driver, lambda d: d.execute_script("return window.scrollY") > 20, 15),
          "the hall screen scrolls a long list by itself")
    check(driver.execute_script("return parseFloat(getComputedStyle(document.body).fontSize)") >= 24,
          "the hall screen has large type")
    if shots:
        screen(360, 740, True)
        driver.get("http://127.0.0.1:%d/?volg=203,201" % port)
        wait_until(driver, lambda d: card(d, "203").find_element(By.CLASS_NAME, "ronde").text == "0:58.50")
        driver.save_screenshot(os.path.join(shots, "live-phone.png"))
        screen(1920, 1080, False)
        driver.get("http://127.0.0.1:%d/?bord&volg=203" % port)
        wait_until(driver, lambda d: card(d, "203").find_element(By.CLASS_NAME, "ronde").text == "0:58.50")
        driver.save_screenshot(os.path.join(shots, "live-hall.png"))
    check(stop(second) == 0, "SIGTERM ends the second replay with 0")
finally:
    driver.quit()
    for process in (first, second):
        if process is not None and process.poll() is None:
            process.kill()
    shutil.rmtree(work, ignore_errors=True)

if failures:
    print("%d check(s) failed" % len(failures))
    sys.exit(1)
print("the live page followed the race")
