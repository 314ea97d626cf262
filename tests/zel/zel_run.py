"""Runs `zel` on a script for the python checks: the script is written into
a folder after the "Zel []" header the console wants, and runs there with
HOME in that folder, so the console's settings stay out of the real home.
"""
import os
import subprocess


def run_script(zel, script, folder, stdin=None, timeout=60, name="run.zel"):
    """Runs `script` (text or bytes) as `folder`/`name`; answers the finished
    process, its output captured as bytes."""
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(b"Zel []\n" + (script.encode("utf-8") if isinstance(script, str) else script))
    return subprocess.run([os.path.abspath(zel), path], input=stdin, capture_output=True,
                          timeout=timeout, cwd=folder, env=dict(os.environ, HOME=folder))


def output_lines(zel, script, folder, failures, timeout=60):
    """The lines `script` prints; a failing run is added to `failures` and
    gives no lines."""
    done = run_script(zel, script, folder, timeout=timeout)
    if done.returncode != 0:
        failures.append(f"zel failed: {done.stdout.decode()} {done.stderr.decode()}")
        return []
    return done.stdout.decode("utf-8").split("\n")
