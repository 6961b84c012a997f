"""The companion package as a user types it: mypy --strict accepts typed_usage.py (the
companion suite checks the examples in its doc strings). Needs mypy; curvefits and tallowfit
installed or on PYTHONPATH."""
import os
import site
import sys

import curvefits
from check_stub_with_mypy import HERE, mypy, report

package = os.path.dirname(os.path.dirname(os.path.abspath(curvefits.__file__)))
environment = dict(os.environ)
if package not in site.getsitepackages():
    # From a source tree: the package's folder, and the native module's stub at its top.
    environment["MYPYPATH"] = os.pathsep.join([package, os.path.dirname(os.path.dirname(HERE))])
code, output = mypy("--strict", "typed_usage.py", env=environment)
failures = ["typed_usage.py: mypy --strict refused it:\n" + output] if code else []
sys.exit(report(failures, ("companion", "checks"), 1))
