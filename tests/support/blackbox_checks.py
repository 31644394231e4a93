"""What the Python black-box tests share: the failures found so far, a check
that records one, and the Windows form of a Linux path under Wine."""

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    """The path as Wine's Z: drive shows it to the program."""
    return "Z:" + path.replace("/", "\\")
