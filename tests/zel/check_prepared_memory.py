"""The evaluator's prepared forms cost a bounded amount of memory: a script
that makes and runs a million distinct small blocks (each run three times,
so each is prepared) peaks at about the memory of one that makes a tenth as
many, and gives the answer it gives with preparation off.

Usage: check_prepared_memory.py zel sanitized (1 skips the memory bound:
the sanitizer keeps freed memory in quarantine)."""
import os
import subprocess
import sys
import tempfile

SCRIPT = """Zel []
total: 0
repeat i to-integer system/script/args [
    b: reduce [to-set-word 'x i '+ 1 'x '* 2]
    do b do b do b
    total: total + x
]
print total
"""


def run(zel, folder, count, prepare):
    """The output and the peak resident size (KB) of one run."""
    env = dict(os.environ, HOME=folder, ZEL_PREPARE=prepare)
    proc = subprocess.Popen([zel, os.path.join(folder, "many.zel"), str(count)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, cwd=folder, env=env)
    out, err = proc.stdout.read(), proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    if status != 0:
        sys.exit(f"zel failed: {out!r} {err!r}")
    return out.decode().strip(), usage.ru_maxrss


def main():
    zel, sanitized = os.path.abspath(sys.argv[1]), sys.argv[2] == "1"
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "many.zel"), "w") as f:
            f.write(SCRIPT)
        small = 10000 if sanitized else 100000
        large = 10 * small
        expected = str(sum(i + 1 for i in range(1, large + 1))) + ".0"
        out_small, rss_small = run(zel, folder, small, "1")
        out_large, rss_large = run(zel, folder, large, "1")
        out_off, _ = run(zel, folder, large, "0")
        failures = []
        if out_large != expected or out_off != expected:
            failures.append(f"answers {out_large} and {out_off} (preparation off), expected {expected}")
        if not sanitized and rss_large > rss_small + 16 * 1024:
            failures.append(f"peak memory grew from {rss_small} KB to {rss_large} KB")
        if failures:
            sys.exit("\n".join(failures))
        print(f"ok: {out_small}, {rss_small} KB at {small} blocks, {rss_large} KB at {large}")


main()
