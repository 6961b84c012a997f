"""The companion package as a user sees it: mypy --strict accepts typed_usage.py, help() of
every public name shows an example; exits 0 when both hold. Needs mypy; curvefits and tallowfit
installed or on PYTHONPATH."""
import os
import pydoc
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
missing = [name for name in curvefits.__all__ if name != "__version__"
           and ">>>" not in pydoc.render_doc(getattr(curvefits, name))]
failures += ["help() shows no example for: " + ", ".join(missing)] if missing else []
sys.exit(report(failures, ("companion", "checks")))
