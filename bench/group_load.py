#!/usr/bin/python3
"""Simulated testees of a group session for group_bench: `group_load.py URL CODE...` runs one testee per
code at once, each on its own keep-alive connection as a browser would: the page, the code, the
instructions, and on every screen the portraits shown (each once, as a browser keeps them), a look at them, then the two lowest. A look takes
THINK seconds (a person takes several; the simulated class asks hundreds of times faster). Prints
"seconds <wall time>" when all have finished; fails on any answer but the expected one."""

import http.client
import json
import sys
import threading
import time
import urllib.parse

THINK = 0.02


def testee(host, port, code, errors):
    conn = http.client.HTTPConnection(host, port, timeout=60)
    cookie = ''
    seen = set()

    def call(method, path, body=None):
        headers = {'Cookie': cookie} if cookie else {}
        if body is not None:
            headers['Content-Type'] = 'application/json'
            body = json.dumps(body)
        for attempt in range(2):
            try:
                conn.request(method, path, body=body, headers=headers)
                response = conn.getresponse()
                return response.status, response.getheader('Set-Cookie', ''), response.read()
            except (http.client.RemoteDisconnected, ConnectionResetError, BrokenPipeError):
                conn.close()
                if attempt:
                    raise

    try:
        for path in ('/', '/group.css', '/group.js', '/api/state'):
            call('GET', path)
        status, set_cookie, body = call('POST', '/api/login', {'code': code})
        assert status == 200, (status, body)
        cookie = set_cookie.split(';')[0]
        state = json.loads(body)
        while state['view'] != 'done':
            if state['view'] == 'instruction':
                status, _, body = call('POST', '/api/begin', {'step': state['step']})
            else:
                for digit in state['visible']:
                    path = f"/portrait/{state['series']}/{digit}/240"
                    if path not in seen:
                        status, _, picture = call('GET', path)
                        assert status == 200 and picture, status
                        seen.add(path)
                time.sleep(THINK)
                status, _, body = call('POST', '/api/choose', {'step': state['step'], 'digits': state['visible'][:2]})
            assert status == 200, (status, body)
            state = json.loads(body)
    except Exception as e:  # counted by the main thread
        errors.append(repr(e))
    finally:
        conn.close()


def main():
    address = urllib.parse.urlsplit(sys.argv[1])
    errors = []
    threads = [threading.Thread(target=testee, args=(address.hostname, address.port, code, errors))
               for code in sys.argv[2:]]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        sys.exit('failed: ' + '; '.join(errors[:5]))
    print(f'seconds {time.monotonic() - start:.3f}', flush=True)


if __name__ == '__main__':
    main()
