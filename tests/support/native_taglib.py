"""Small native readers built against TagLib (libtag1-dev), so that a test
reads a file as TagLib's own API does."""
import os
import subprocess


def build_taglib_reader(work, name, source):
    """Compiles `source` (C++ taking a file's path as its argument) into
    `work`; returns reader(path) -> the program's output."""
    source_path = os.path.join(work, name + ".cpp")
    with open(source_path, "w") as f:
        f.write(source)
    program = os.path.join(work, name)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "taglib"], capture_output=True, text=True,
                           check=True).stdout.split()
    subprocess.run(["g++", "-o", program, source_path, *flags], check=True)

    def reader(path):
        return subprocess.run([program, path], capture_output=True, text=True, check=True).stdout
    return reader
