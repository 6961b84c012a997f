"""Runs a module (-m name args...) or a script (path args...) and writes its
exit status to STATUS_FILE before the interpreter ends.

The leak check that a sanitizer runs at exit replaces the process's exit
status with its own whenever it finds a leak, and the interpreter leaves some
of its own memory behind at exit; the status file keeps what the run itself
answered. A run that a sanitizer error ends writes no file.

    exit_status.py STATUS_FILE (-m module | script) [args...]
"""
import runpy
import sys
import traceback


def run(target):
    if target[0] == "-m":
        sys.argv = [target[1]] + target[2:]
        runpy.run_module(target[1], run_name="__main__", alter_sys=True)
    else:
        sys.argv = list(target)
        runpy.run_path(target[0], run_name="__main__")


def main():
    status_file = sys.argv[1]
    target = sys.argv[2:]
    status = 0
    try:
        run(target)
    except SystemExit as exit:
        status = exit.code if isinstance(exit.code, int) else (0 if exit.code is None else 1)
    except BaseException:
        traceback.print_exc()
        status = 1
    with open(status_file, "w") as written:
        written.write("%d\n" % status)
    sys.exit(status)


if __name__ == "__main__":
    main()
