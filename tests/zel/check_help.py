#!/usr/bin/env python3
"""Runs `zel` on scripts that print help texts and compares what they print
byte for byte: function pages, object and datatype listings, searches,
source and about. Also checks that every global word has a help text and
that the help looks the same on a terminal as through a pipe.

Usage: check_help.py path/to/zel path/to/build_info.h
"""
import os
import platform
import pty
import re
import subprocess
import sys
import tempfile

from zel_run import run_script

ZEL = sys.argv[1]
BUILD_INFO = sys.argv[2]

APPEND_PAGE = """\
USAGE:
     APPEND series value

DESCRIPTION: 
     Inserts values at the tail of a series; returns the series at its head. 
     APPEND is an action! value.

ARGUMENTS:
     series       [series! port! bitset!] "The series to extend (modified)."
     value        [any-type!] 

REFINEMENTS:
     /part        => Inserts only this many values.
        length       [number! series!] 
     /only        => Inserts a block as one value.
     /dup         => Inserts the values this many times.
        count        [integer!] 

RETURNS:
     [series! port! bitset!]

"""

PLUS_PAGE = """\
USAGE:
     value1 + value2

DESCRIPTION: 
     Returns the sum of two values. 
     + is an op! value.

ARGUMENTS:
     value1       [scalar! vector!] 
     value2       [scalar! vector!] 

RETURNS:
     [scalar! vector!]

"""

A_AN_PAGE = """\
USAGE:
     A-AN str

DESCRIPTION: 
     Returns the appropriate variant of a or an (simple, vs 100% grammatically correct). 
     A-AN is a function! value.

ARGUMENTS:
     str          [string!] 

REFINEMENTS:
     /pre         => Prepend to str.

"""

WHAT_PAGE = """\
USAGE:
     WHAT 

DESCRIPTION: 
     Lists all functions, or search for values. 
     WHAT is a function! value.

REFINEMENTS:
     /with        => Search all values that contain text in their name.
        text         [word! string!] 
     /spec        => Search for text in value specs as well.
     /buffer      => Buffer and return output, rather than printing results.

"""

# Every section: attributes, arguments quoted and fetched, untyped or
# without doc, a refinement without doc, a return type with its doc.
ALL_SECTIONS_SCRIPT = """\
f: func [
    [catch] {Tries   hard,
    twice} 'a :b [integer!] "The b." /c "C" d [integer! string!] "The d" /e
    return: [block!] "The result"
] []
help f
"""

ALL_SECTIONS_PAGE = """\
USAGE:
     F 'a :b

ATTRIBUTES:
     [catch]

DESCRIPTION: 
     Tries hard, twice. 
     F is a function! value.

ARGUMENTS:
     'a            
     :b           [integer!] "The b."

REFINEMENTS:
     /c           => C.
        d            [integer! string!] "The d."
     /e           => 

RETURNS:
     The result.
     [block!]

"""

NO_ARGUMENTS_PAGE = """\
USAGE:
     F 

DESCRIPTION: 
     F is a function! value.

"""

USAGE = "\n" + "\n".join([
    "\tUse HELP or ? to view built-in docs for functions, values ",
    "\tfor contexts, or all values of a given datatype:",
    "",
    "\t\thelp append",
    "\t\t? system",
    "\t\t? function!",
    "",
    "\tTo search for values by name, use a word:",
    "",
    "\t\t? pri",
    "\t\t? to-",
    "",
    "\tTo also search in function specs, use a string:",
    "",
    '\t\t? "pri"',
    '\t\t? "issue!"',
    "",
    "\tTo buffer and return output, rather than printing results, ",
    "\tuse help-string:",
    "",
    "\t\thelp-string append",
    "",
    "\tOther useful functions:",
    "",
    "\t\t??     - Display a word and the value it references",
    "\t\tprobe  - Print a molded value",
    "\t\tsource - Show a function's source code",
    "\t\twhat   - Show a list of known functions or words",
    "\t\tabout  - Display version number and build date",
    "\t\tquit   - Leave the Zel console",
    "\t",
])

# The library's characters; their order is the global context's, which
# follows the library's sources, so the lines are compared sorted.
CHAR_LINES = sorted("""\
    enter            #"^M"
    newline          #"^/"
    tab              #"^-"
    cr               #"^M"
    lf               #"^/"
    escape           #"^["
    slash            #"/"
    sp               #" "
    space            #" "
    null             #"^@"
    dot              #"."
    comma            #","
    dbl-quote        #"^\""

""".split("\n"))

# Words new to the global context come in the order the script names them,
# not sorted.
PAIR_LISTING = """\
    zzq-b            1x2
    zzq-a            3x4

"""

MATH_ERRORS = """\
SYSTEM/CATALOG/ERRORS/MATH is an object! with the following words and values:
     code         integer!      400
     type         string!       "Math Error"
     zero-divide  string!       "attempt to divide by zero"
     overflow     string!       "math or number overflow"
     positive     string!       "positive number required"

"""

SEARCH_WORDS = """\
zzq-one: 1
zzq-two: "two"
zzq-three: func ["Third"] []
zzq-spec: func ["Mentions ZZQ"] []
zzr-doc: func ["Mentions zzq-x"] []
zzq-long: append/dup copy [] 12345 30
"""



def fit(line):
    """A listing line cut to 79 columns, as without a console."""
    return line[:76] + "..." if len(line) > 79 else line


# By name: the words sorted, each line cut to 79 characters.
NAME_SEARCH = fit("     zzq-long        block!        length: 30  [" + "12345 " * 30) + """
     zzq-one         integer!      1
     zzq-spec        function!     Mentions ZZQ.
     zzq-three       function!     Third.
     zzq-two         string!       "two"

"""

SPEC_SEARCH = NAME_SEARCH[:-1] + """\
     zzr-doc         function!     Mentions zzq-x.

"""

A_AN_SOURCE = '''\
a-an: func [
    {Returns the appropriate variant of a or an (simple, vs 100% grammatically correct)}
    str [string!]
    /pre "Prepend to str"
    /local tmp
][
    tmp: either all [not empty? str find "aeiou" first str] ["an"] ["a"]
    either pre [rejoin [tmp " " str]] [tmp]
]
'''

CASES = [
    ("a native's page", "help append\n", APPEND_PAGE),
    ("an op's page", "help +\n", PLUS_PAGE),
    ("a library function's page", "help a-an\n", A_AN_PAGE),
    ("refinement arguments", "? what\n", WHAT_PAGE),
    ("every section", ALL_SECTIONS_SCRIPT, ALL_SECTIONS_PAGE),
    ("no arguments", "f: func [] []\nhelp f\n", NO_ARGUMENTS_PAGE),
    ("usage", "do [help]\n", USAGE + "\n\n"),
    ("a datatype's values", "zzq-b: 1x2\nzzq-a: 3x4\nhelp pair!\n", PAIR_LISTING),
    ("no values of a datatype", "help unset!\n",
     "No unset! values were found in the global context.\n\n"),
    ("an object", "help system/catalog/errors/math\n", MATH_ERRORS),
    ("a search by name", SEARCH_WORDS + "help zzq\n", NAME_SEARCH),
    ("a search in specs", SEARCH_WORDS + 'help "zzq"\n', SPEC_SEARCH),
    ("a search that finds nothing", "help zzq-nothing\n",
     "No matching values were found in the global context.\n\n"),
    ("what prints", SEARCH_WORDS + "what/with 'zzq-t\n",
     "     zzq-three       function!     Third.\n     zzq-two         string!       \"two\"\n\n"),
    ("source of a function", "source a-an\n", A_AN_SOURCE),
    ("source of a native", "source print\n", "PRINT is a native! value, so source is not available.\n"),
    ("source of a routine", "source exists?\n",
     "; EXISTS? is a routine! value; its body is Zel/System code.\n"
     'exists?: routine ["Returns TRUE if the file exists" path [file!] return: [logic!]] none\n'),
    ("a function given directly", 'zzq: func ["Doc"] [1]\nhelp :zzq\n', 'func ["Doc"][1]\n\n'),
]


def run(script, cwd):
    done = run_script(ZEL, script, cwd, name="script.zel")
    return done.stdout.decode(), done.returncode


def show_difference(expected, out):
    exp_lines, out_lines = expected.split("\n"), out.split("\n")
    for i, (e, o) in enumerate(zip(exp_lines, out_lines)):
        if e != o:
            return f"line {i + 1}: got {o!r}, want {e!r}"
    return f"{len(out_lines)} lines, want {len(exp_lines)}"


def build_record():
    record = {}
    with open(BUILD_INFO) as f:
        for name, value in re.findall(r'#define ZEL_(\w+) "(.*)"', f.read()):
            record[name] = value
    return record


# system/options with the fields that depend on the run set to known values
# first; the rest is what start-up made.
def options_case(tmp):
    home = "/home/someone"
    script = ("system/options/boot: %zel system/options/args: [\"a\"] system/options/script: none\n"
              f"system/options/cache: %{home}/.zel/\n"
              "help system/options\n")
    lines = [
        ("boot", "file!", "%zel"),
        ("home", "none!", "none"),
        ("path", "file!", f"%{tmp}/"),
        ("script", "none!", "none"),
        ("cache", "file!", f"%{home}/.zel/"),
        ("thru-cache", "none!", "none"),
        ("args", "block!", 'length: 1  ["a"]'),
        ("do-arg", "none!", "none"),
        ("debug", "none!", "none"),
        ("secure", "none!", "none"),
        ("quiet", "logic!", "false"),
        ("binary-base", "integer!", "16"),
        ("decimal-digits", "integer!", "15"),
        ("money-digits", "integer!", "2"),
        ("module-paths", "block!", "length: 0  []"),
        ("file-types", "none!", "none"),
        ("float", "object!", "[pretty? full? on-change*]"),
        ("on-change*", "function!", "[word old new /local failed]"),
        ("on-deep-change*", "function!", "[owner word target action new index part /local before failed]"),
    ]
    text = "SYSTEM/OPTIONS is an object! with the following words and values:\n"
    for word, kind, summary in lines:
        line = f"     {word:<15}  {kind:<12}  {summary}"
        text += fit(line) + "\n"
    return ("an object of the system object", script, text + "\n")


def check_cases(tmp):
    failures = 0
    for name, script, expected in CASES + [options_case(tmp)]:
        out, status = run(script, tmp)
        if out != expected or status != 0:
            failures += 1
            print(f"FAIL {name}: status {status}; {show_difference(expected, out)}")
    out, status = run("help char!\n", tmp)
    if sorted(out.split("\n")) != CHAR_LINES or status != 0:
        failures += 1
        print(f"FAIL the library's characters: status {status}; {out!r}")
    return failures


# The build record's version and commit; the date is the record's own, formed
# by the system, so only its day is compared.
def check_about(tmp):
    record = build_record()
    out, _ = run("about\nabout/debug\n", tmp)
    lines = out.split("\n")
    version = re.escape(record["VERSION"])
    failures = 0
    if record["GIT_COMMIT"]:
        day = re.escape(record["GIT_DATE"].split("/")[0].lstrip("0"))
        short = re.escape(record["GIT_COMMIT"][:7])
        want = [
            rf"Zel {version} for Linux built {day}\S*  commit #{short}",
            r"-----------ZEL & PLATFORM VERSION----------- ",
            rf'ZEL: \[ branch: "{re.escape(record["GIT_BRANCH"])}" tag: \S+ ahead: {record["GIT_AHEAD"]} '
            rf'date: \S+ commit: #{record["GIT_COMMIT"]} \] ',
            rf'PLATFORM: \[ name: "Linux {re.escape(platform.release())}" OS: \'Linux arch: \'\S+ '
            r"version: \S+ build: \S+ \] ",
            "-" * 44,
            "",
        ]
    else:
        want = [
            rf"Zel {version} for Linux built \S+",
            r"Looks like this Zel binary has been built from source\.",
            r"Please download latest build from our website:",
            r"\S+",
            r"and try your code on it before submitting an issue\.",
            "",
        ]
    if len(lines) != len(want) or not all(re.fullmatch(w, l) for w, l in zip(want, lines)):
        failures += 1
        print(f"FAIL about: {out!r}")
    return failures


# Every global word and every member of the system object (but the global
# context, which the words cover) gets a text: no error, no spec the reader
# refuses.
def check_every_word(tmp):
    script = """\
bad: copy []
check: func [name] [
    if any [
        error? try [do reduce ['help-string name]]
        find help-ctx/output-buffer "couldn't be parsed"
        find help-ctx/output-buffer "bad type spec"
    ] [append bad name]
]
foreach w words-of system/words [check w]
walk: func [path /local value] [
    check path
    value: get path
    if object? :value [
        foreach w words-of value [
            unless same? select value w system/words [walk append copy path w]
        ]
    ]
]
walk to path! [system]
print mold bad
"""
    out, status = run(script, tmp)
    if out != "[]\n" or status != 0:
        print(f"FAIL every global word and system member: {out!r}")
        return 1
    return 0


# Listings are cut to 79 columns without a console, on a terminal as through
# a pipe.
def check_terminal(tmp):
    script = "what\nhelp system\n"
    piped, _ = run(script, tmp)
    master, slave = pty.openpty()
    path = os.path.join(tmp, "script.zel")
    child = subprocess.Popen([ZEL, path], stdin=slave, stdout=slave, stderr=slave, cwd=tmp)
    os.close(slave)
    chunks = []
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:
            break
        if not chunk:
            break
        chunks.append(chunk)
    child.wait(timeout=60)
    os.close(master)
    # The console names itself in the terminal's title first.
    on_terminal = b"".join(chunks).decode().replace("\r\n", "\n").replace("\x1b]0;Zel Console\x07", "", 1)
    lines = piped.split("\n")
    failures = 0
    if on_terminal != piped:
        failures += 1
        print(f"FAIL terminal and pipe differ: {show_difference(piped, on_terminal)}")
    if any(len(line) > 79 for line in lines) or not any(len(l) == 79 and l.endswith("...") for l in lines):
        failures += 1
        print("FAIL listing lines are not cut to 79 columns")
    return failures


def main():
    with tempfile.TemporaryDirectory() as tmp:
        tmp = os.path.realpath(tmp)
        failures = check_cases(tmp) + check_about(tmp) + check_every_word(tmp) + check_terminal(tmp)
    print(f"{failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
