#!/usr/bin/env python3
"""Runs Zel cases that talk to a server: starts tests/http_server.py on
127.0.0.1, puts its address into the cases of a .zel.in file (load_urls.zel.in
when none is named) and runs them with the Zel test runner.

Usage: check_load_urls.py path/to/zel-test [cases.zel.in]
"""
import os
import subprocess
import sys
import tempfile
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    runner = sys.argv[1]
    cases_name = sys.argv[2] if len(sys.argv) > 2 else "load_urls.zel.in"
    server = subprocess.Popen([sys.executable, os.path.join(HERE, "..", "http_server.py")],
                              stdout=subprocess.PIPE)
    try:
        ports = server.stdout.readline().split()
        with open(os.path.join(HERE, cases_name), encoding="utf-8") as f:
            cases = f.read().replace("{1}", "127.0.0.1:%d" % int(ports[0]))
        cases = cases.replace("{0}", "127.0.0.1:%d" % int(ports[2]))
        with tempfile.TemporaryDirectory(prefix="zel-load-urls-") as folder:
            path = os.path.join(folder, cases_name[:-len(".in")])
            with open(path, "w", encoding="utf-8") as f:
                f.write(cases)
            done = subprocess.run([runner, path], timeout=120)
        return done.returncode
    finally:
        try:
            urllib.request.urlopen("http://127.0.0.1:%d/quit" % int(ports[0]), timeout=10).read()
        except (OSError, IndexError, ValueError):
            pass
        server.kill()
        server.wait()


if __name__ == "__main__":
    sys.exit(main())
