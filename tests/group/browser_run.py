#!/usr/bin/python3
"""Drives Debian's Chromium through chromedriver for tst_group_browser: reads one JSON line on stdin (the
address, one plan per browser, the code of a testee who never came, a folder for screenshots), runs the
browsers at once, prints "RUNS DONE", waits for "FINISHED" on stdin (the examiner ended the session),
checks that nothing opens any more and prints "AFTER FINISH REFUSED". Any failed check ends it with an
exception and a non-zero exit."""

import json
import os
import sys
import tempfile
import threading
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

WAIT = 60  # seconds for any page change: generous on a loaded machine
SIZES = {'keys': (1280, 800), 'touch': (390, 844), 'mixed': (800, 1280)}  # desktop, phone, 10" tablet


def browser(mode):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-dev-shm-usage',
                '--user-data-dir=' + tempfile.mkdtemp(prefix='morvel-chromium-')):
        options.add_argument(arg)
    width, height = SIZES[mode]
    if mode == 'touch':
        options.add_experimental_option('mobileEmulation', {
            'deviceMetrics': {'width': width, 'height': height, 'pixelRatio': 2.0, 'touch': True}})
    else:
        options.add_argument(f'--window-size={width},{height}')
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def until(driver, check, what):
    WebDriverWait(driver, WAIT, poll_frequency=0.05).until(lambda d: check(d), message=what)


def view(driver):
    return driver.find_element(By.TAG_NAME, 'body').get_attribute('data-view')


def step(driver):
    return driver.find_element(By.TAG_NAME, 'body').get_attribute('data-step')


def enter_code(driver, code):
    until(driver, lambda d: view(d) == 'code-view', 'code entry')
    field = driver.find_element(By.ID, 'code')
    field.clear()
    field.send_keys(code)
    driver.find_element(By.ID, 'code-ok').click()


def refused(driver):
    until(driver, lambda d: 'не подходит' in d.find_element(By.ID, 'code-error').text, 'code refused')
    assert view(driver) == 'code-view'


def panel(driver, digit):
    return driver.find_element(By.CSS_SELECTOR, f'#board .panel[data-digit="{digit}"]')


def visible_digits(driver):
    return [p.get_attribute('data-digit') for p in driver.find_elements(By.CSS_SELECTOR, '#board .panel:not(.gone)')]


def press(driver, key):
    ActionChains(driver).send_keys(key).perform()


def take(driver, mode, digits, index, shots):
    """Chooses two portraits by keys or clicks; checks the choice rules and colours on the way."""
    by_keys = mode == 'keys' or (mode == 'mixed' and index % 2 == 0)
    for d in digits:
        press(driver, str(d)) if by_keys else panel(driver, d).click()
    colour = 'rgba(255, 0, 0, 1)' if driver.execute_script('return state.sign') == 1 else 'rgba(0, 0, 255, 1)'
    for d in digits:
        until(driver, lambda dr: 'chosen' in panel(dr, d).get_attribute('class'), 'portrait chosen')
        assert panel(driver, d).value_of_css_property('background-color') == colour
    # A third portrait is not taken while two are.
    third = next(v for v in visible_digits(driver) if int(v) not in digits)
    press(driver, third) if by_keys else panel(driver, third).click()
    assert 'chosen' not in panel(driver, third).get_attribute('class')
    assert driver.find_element(By.ID, 'next').is_enabled()
    if shots and mode in ('touch', 'mixed') and index in (2, 14):
        driver.save_screenshot(os.path.join(shots, f"{'phone' if mode == 'touch' else 'tablet'}-step{index}.png"))
    press(driver, Keys.ENTER) if by_keys else driver.find_element(By.ID, 'next').click()


def run(driver, job, errors, shots):
    try:
        mode, plan = job['mode'], job['plan']
        if mode == 'touch':
            enter_code(driver, 'ZZZZZZ')
            refused(driver)
            if shots:
                driver.save_screenshot(os.path.join(shots, 'phone-code.png'))
        enter_code(driver, job['code'])
        current = 0
        until(driver, lambda d: step(d) == '0', 'first instruction')
        for index, action in enumerate(plan):
            if action[0] == 'reload':
                before = visible_digits(driver)
                driver.refresh()
                until(driver, lambda d: view(d) == 'screen-view' and step(d) == str(current), 'resumed screen')
                assert visible_digits(driver) == before, (before, visible_digits(driver))
                assert driver.find_element(By.ID, 'progress').text == 'Серия 4 из 6'
                continue
            if action[0] == 'begin':
                if shots and mode == 'touch' and current == 0:
                    driver.save_screenshot(os.path.join(shots, 'phone-instruction.png'))
                by_keys = mode != 'touch'
                press(driver, Keys.ENTER) if by_keys else driver.find_element(By.ID, 'begin').click()
                current += 1
            elif action[0] == 'choose':
                take(driver, mode, action[1:], current, shots)
                current += 1
            else:
                press(driver, Keys.BACKSPACE) if mode != 'touch' else driver.find_element(By.ID, 'back').click()
                current -= 1
            until(driver, lambda d: step(d) == str(current) or (current == 20 and view(d) == 'done-view'),
                  f'step {current}')
        until(driver, lambda d: view(d) == 'done-view', 'end')
        assert driver.find_element(By.ID, 'done').text == 'Спасибо, тестирование закончено'
        if shots and mode == 'mixed':
            driver.save_screenshot(os.path.join(shots, 'tablet-done.png'))
    except Exception as e:  # reported by the main thread
        errors.append(f'{job["mode"]}: {e!r}')


def main():
    job = json.loads(sys.stdin.readline())
    url, shots = job['url'], job['shots']
    drivers = [browser(b['mode']) for b in job['browsers']]
    try:
        for d in drivers:
            d.get(url)
        errors = []
        threads = [threading.Thread(target=run, args=(d, b, errors, shots)) for d, b in zip(drivers, job['browsers'])]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        if errors:
            raise AssertionError('; '.join(errors))
        # A used code: the desktop browser, its run cookie gone, tries the phone's code.
        drivers[0].delete_all_cookies()
        drivers[0].get(url)
        enter_code(drivers[0], job['browsers'][1]['code'])
        refused(drivers[0])
        print('RUNS DONE', flush=True)

        assert sys.stdin.readline().strip() == 'FINISHED'
        request = urllib.request.Request(url + 'api/login', data=json.dumps({'code': job['unused']}).encode(),
                                         headers={'Content-Type': 'application/json'})
        try:
            urllib.request.urlopen(request, timeout=10)
            raise AssertionError('a code was taken after the session ended')
        except urllib.error.URLError as e:
            assert isinstance(e.reason, ConnectionRefusedError), e
        print('AFTER FINISH REFUSED', flush=True)
    finally:
        for d in drivers:
            d.quit()


if __name__ == '__main__':
    main()
