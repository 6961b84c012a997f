"""Captures what the native call writes to sys.stdout, for the calling thread only.

The native functions write their messages through ``sys.stdout.write`` while
holding the interpreter lock, but that write may be Python code during which
other threads run and print. So while any captured call is in progress,
``sys.stdout`` is a router that keeps the text written by a capturing thread
and passes every other thread's text on to the stream it replaced.
"""
import sys
import threading
from contextlib import contextmanager
from typing import Any, Dict, Iterator, List

_lock = threading.Lock()
_buffers = {}  # type: Dict[int, List[str]]
_users = 0


class _Router(object):
    """Stands in for sys.stdout; anything but write goes to the replaced stream."""

    def __init__(self, stream: Any) -> None:
        self._stream = stream

    def write(self, text: str) -> Any:
        buffer = _buffers.get(threading.get_ident())
        if buffer is not None:
            buffer.append(text)
            return len(text)
        if self._stream is None:
            return len(text)
        return self._stream.write(text)

    def __getattr__(self, name: str) -> Any:
        return getattr(self._stream, name)


@contextmanager
def captured_output() -> Iterator[List[str]]:
    """The list that collects this thread's writes to sys.stdout inside the block."""
    global _users
    parts = []  # type: List[str]
    with _lock:
        if not isinstance(sys.stdout, _Router):
            sys.stdout = _Router(sys.stdout)
        _users += 1
        _buffers[threading.get_ident()] = parts
    try:
        yield parts
    finally:
        with _lock:
            del _buffers[threading.get_ident()]
            _users -= 1
            # A stream set by someone else meanwhile stays theirs.
            if _users == 0 and isinstance(sys.stdout, _Router):
                sys.stdout = sys.stdout._stream
