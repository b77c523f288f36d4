#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser view in headless chromium: log in, watch a harvest from the demo news server, open a
picture, press STOP and see the session end; a hostile subject stays text. Screenshots of the pages go
to --out."""

import argparse
import binascii
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

HOSTILE = "<img src=x onerror=alert(1)>"
GROUP = "alt.pictures.webtest"
ARTICLES = 60


def uuencode(name, data):
    lines = ["begin 644 " + name]
    for i in range(0, len(data), 45):
        lines.append(binascii.b2a_uu(data[i:i + 45]).decode("ascii").rstrip("\n"))
    lines += ["`", "end", ""]
    return "\n".join(lines)


def make_news(folder, pictures):
    group = os.path.join(folder, GROUP)
    os.makedirs(group)
    sources = sorted(p for p in os.listdir(pictures) if p.endswith(".jpg"))
    for i in range(ARTICLES):
        with open(os.path.join(pictures, sources[i % len(sources)]), "rb") as f:
            data = f.read()
        last = i == ARTICLES - 1
        name = "hostile.jpg" if last else "webtest-%03d.jpg" % i
        subject = (HOSTILE + " hostile.jpg") if last else name
        author = (HOSTILE + " <evil@example.invalid>") if last else "Demo <demo@example.invalid>"
        with open(os.path.join(group, "%03d.msg" % i), "w") as f:
            f.write("Subject: %s\nFrom: %s\n\n%s" % (subject, author, uuencode(name, data)))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, predicate, limit=20.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            value = predicate()
        except (NoSuchElementException, StaleElementReferenceException):
            value = None  # the page is between two states; look again
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def main():
    ap = argparse.ArgumentParser()
    for opt in ("--fennick", "--server", "--pictures", "--chromium", "--chromedriver", "--out"):
        ap.add_argument(opt, required=True)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="fk-web-")
    procs = []
    driver = None
    try:
        news = os.path.join(work, "news")
        make_news(news, args.pictures)
        server_log = open(os.path.join(work, "server.log"), "w+")
        server = subprocess.Popen([args.server, "--port", "0", "--dir", news, "--delay", "120", "--quiet"],
                                  stdout=server_log, stderr=subprocess.STDOUT)
        procs.append(server)

        def server_port():
            server_log.seek(0)
            m = re.search(r"listening on [0-9.]+:(\d+)", server_log.read())
            return m and int(m.group(1))
        nntp_port = wait_for("the news server", server_port, 10)

        home = os.path.join(work, "home")
        os.makedirs(home)
        web_port = free_port()
        with open(os.path.join(home, "FENNICK.INI"), "w") as f:
            f.write("[COMM]\nnews_server=127.0.0.1\nport=%d\ncheck_dialup=0\nunattended_operation=1\n"
                    "[SUBJECT]\ncheck_subject=0\n[SELECTION]\ncheck_date=0\ncheck_minlines=0\ncheck_maxlines=0\n"
                    "max_art_per_grp=1000\n[WEB]\nweb_port=%d\n" % (nntp_port, web_port))
        with open(os.path.join(home, "newsrc"), "w") as f:
            f.write(" %s\n" % GROUP)
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"))
        printed = subprocess.run([args.fennick, "--dir", home, "--web-url"], capture_output=True, text=True,
                                 env=env, check=True).stdout.split("\n")
        url, token = printed[0], printed[1]
        assert url == "http://127.0.0.1:%d/" % web_port, url
        assert re.fullmatch(r"[0-9a-f]{64}", token), "a 256-bit token"

        fennick_out = open(os.path.join(work, "fennick.out"), "w")
        fennick = subprocess.Popen([args.fennick, "--headless", "--stay", "--dir", home], stdout=fennick_out,
                                   stderr=subprocess.STDOUT, env=env)
        procs.append(fennick)

        options = webdriver.ChromeOptions()
        options.binary_location = args.chromium
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1280,900",
                     "--user-data-dir=" + os.path.join(work, "chromium")):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(args.chromedriver), options=options)
        driver.set_page_load_timeout(20)

        # Nobody without the token sees anything but the login page.
        wait_for("the web view", lambda: socket.create_connection(("127.0.0.1", web_port), 1) and True, 10)
        driver.get(url)
        assert driver.current_url.endswith("/login"), driver.current_url
        driver.find_element(By.ID, "token").send_keys("not-the-token")
        driver.find_element(By.ID, "login").click()
        wait_for("a wrong token refused", lambda: driver.find_elements(By.ID, "refused"))
        driver.find_element(By.ID, "token").send_keys(token)
        driver.find_element(By.ID, "login").click()
        wait_for("the status page", lambda: driver.find_elements(By.ID, "count-pictures"))

        # The counters change during the harvest, pushed by the server.
        count = lambda: int(driver.find_element(By.ID, "count-pictures").text or "0")
        first = wait_for("a first picture", lambda: count() > 0 and count())
        wait_for("more pictures", lambda: count() > first)
        assert driver.find_element(By.ID, "state").text == "Running"
        # The hostile subject waits in the pending list as text.
        wait_for("the hostile row", lambda: HOSTILE in driver.find_element(By.ID, "pending").text)
        assert not driver.find_elements(By.CSS_SELECTOR, "img[src='x']"), "a subject became markup"
        driver.execute_script("const s = document.querySelector('.scroll'); s.scrollTop = s.scrollHeight;")
        driver.save_screenshot(os.path.join(args.out, "status.png"))

        # The gallery and a picture at full size with its information.
        driver.get(url + "gallery")
        wait_for("thumbnails", lambda: driver.find_elements(By.CSS_SELECTOR, "#thumbs img"))
        wait_for("every thumbnail drawn", lambda: driver.execute_script(
            "return Array.from(document.querySelectorAll('#thumbs img')).every(i => i.complete && i.naturalWidth > 0)"))
        driver.save_screenshot(os.path.join(args.out, "gallery.png"))
        driver.find_element(By.CSS_SELECTOR, "#thumbs a").click()
        wait_for("the picture", lambda: driver.execute_script(
            "const i = document.getElementById('full'); return i && i.complete && i.naturalWidth > 0"))
        assert driver.find_element(By.ID, "info-group").text == GROUP
        assert driver.find_element(By.ID, "info-author").text.startswith("Demo")
        assert re.fullmatch(r"\d+ x \d+", driver.find_element(By.ID, "info-dimensions").text)
        driver.save_screenshot(os.path.join(args.out, "picture.png"))

        # STOP ends the session; the page says so without a reload of its own.
        driver.get(url)
        wait_for("the live state", lambda: driver.find_element(By.ID, "state").text == "Running")
        driver.find_element(By.ID, "stop").click()
        wait_for("the session's end", lambda: driver.find_element(By.ID, "state").text == "Idle")
        wait_for("the window's words for it", lambda: "Stop Pressed" in driver.find_element(By.ID, "server").text)
        stopped_at = count()
        assert stopped_at < ARTICLES, "STOP came before the end of the harvest"
        try:
            driver.switch_to.alert
            raise AssertionError("a script of a news server ran")
        except NoAlertPresentException:
            pass
        driver.save_screenshot(os.path.join(args.out, "stopped.png"))
        assert fennick.poll() is None, "--stay keeps serving after the session"
        print("ok: %d pictures before STOP; screenshots in %s" % (stopped_at, args.out))
        return 0
    finally:
        if driver:
            driver.quit()
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        out = os.path.join(work, "fennick.out")
        if os.path.exists(out) and sys.exc_info()[0] is not None:
            sys.stdout.write(open(out).read()[-4000:])
        if not os.environ.get("FK_KEEP_WORK"):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
