"""exit_status.py STATUS_FILE (-m module | script) [args...]: writes the run's exit status, which a
sanitizer's leak check at exit replaces (the interpreter leaves memory behind); a sanitizer error, none."""
import runpy
import sys
import traceback


def main(status_file, target):
    status = 0
    try:
        if target[0] == "-m":
            sys.argv = target[1:]
            runpy.run_module(target[1], run_name="__main__", alter_sys=True)
        else:
            sys.argv = list(target)
            runpy.run_path(target[0], run_name="__main__")
    except SystemExit as exit:
        status = exit.code if isinstance(exit.code, int) else int(exit.code is not None)
    except BaseException:
        traceback.print_exc()
        status = 1
    with open(status_file, "w") as written:
        written.write("%d\n" % status)
    sys.exit(status)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
