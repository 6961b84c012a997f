"""Numbers where the module reads a number: conversions that raise or answer
with the wrong type, subclasses, items that change the list being read."""


class WrongFloat(object):
    """__float__ and __index__ that answer with the wrong type, or raise answer when it is an exception."""

    def __init__(self, answer):
        self.answer = answer

    def __float__(self):
        if isinstance(self.answer, type) and issubclass(self.answer, BaseException):
            raise self.answer("__float__ refuses")
        return self.answer

    __int__ = __index__ = __float__


FloatSub, IntSub = type("FloatSub", (float,), {}), type("IntSub", (int,), {})


class FloatSubRaising(float):
    def __float__(self):
        raise ValueError("float subclass refuses")


class ListChanger(object):
    """A number that applies change to target (a list being read) when read."""

    def __init__(self, target, change, value=1.0):
        self.target, self.change, self.value = target, change, value

    def __float__(self):
        self.change(self.target)
        return self.value

    def __index__(self):
        self.change(self.target)
        return 1

    __int__ = __index__


def clear(target):
    del target[:]


def grow(target):
    target.extend([(1.0, 1.0, 1.0)] * 50)


def drop_last(target):
    del target[-1:]


def replace_first(target):
    target[:1] = ["replaced"] * len(target[:1])


LIST_CHANGES = [clear, drop_last, grow, replace_first, lambda target: target.reverse()]
ERRORS = [ValueError, TypeError, MemoryError, OverflowError, ZeroDivisionError, RuntimeError]
