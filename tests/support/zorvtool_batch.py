"""zorvtool's commands (or a test probe's, which answers the same way) run
through one long-lived `batch` process per thread instead of one Wine start
each: a start costs a second or more on a busy machine, most commands a few
milliseconds.

Each command answers as a lone run would: its output and errors are whatever
the process wrote to them while it ran (a library's own messages too), the
batch's files holding them; what Wine itself printed meanwhile follows the
errors. A command that ends the process (a crash) is answered with the
process's exit status and what it wrote before, and the next command starts
a new one. A process that ends before it says it is ready is started again:
on a busy machine Wine now and then fails to start a program at all
("Application could not be started"), which says nothing of the command.
The process is started again when the environment or the working folder the
test gives its programs has changed since its start, and for a command run
cold: one that must find no cache the earlier commands filled."""
import atexit
import os
import shutil
import subprocess
import tempfile
import threading


READY = b"batch ready\n"


class BatchResult:
    def __init__(self, args, returncode, stdout, stderr):
        self.args, self.returncode, self.stdout, self.stderr = args, returncode, stdout, stderr


def _field(arg):
    """An argument as the line's bytes: text as UTF-8 (a lone surrogate as
    the byte it stands for, which the batch refuses as a lone run never
    gets it), bytes as they are."""
    data = arg if isinstance(arg, bytes) else arg.encode("utf-8", "surrogateescape")
    return data.replace(b"\\", b"\\\\").replace(b"\t", b"\\t").replace(b"\n", b"\\n")


def _text(data):
    """As subprocess.run(text=True) reads a lone run's output: line ends of
    "\r\n" or "\r" read as "\n"."""
    return data.decode("utf-8", "replace").replace("\r\n", "\n").replace("\r", "\n")


class _Process:
    """One batch process and the files its commands' output goes into."""

    def __init__(self, command, env):
        self.folder = tempfile.mkdtemp(prefix="zorv-batch-")
        self.out, self.err, self.wine_errors = (os.path.join(self.folder, name) for name in ("out", "err", "wine"))
        with open(self.wine_errors, "wb") as wine_errors:
            self.popen = subprocess.Popen(
                [*command, "batch", *("Z:" + p.replace("/", "\\") for p in (self.out, self.err))],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=wine_errors, env=env)
        self.ready = self.popen.stdout.readline() == READY

    def begin(self):
        """Empties the files for the next command."""
        for path in (self.out, self.err):
            open(path, "wb").close()
        self.wine_errors_from = os.path.getsize(self.wine_errors)

    def output(self):
        """What the command wrote to its output and its errors, and what Wine
        printed to the process's own errors meanwhile."""
        with open(self.out, "rb") as out, open(self.err, "rb") as err, open(self.wine_errors, "rb") as wine:
            wine.seek(self.wine_errors_from)
            return _text(out.read()), _text(err.read() + wine.read())

    def start_errors(self):
        with open(self.wine_errors, "rb") as wine:
            return _text(wine.read()).strip()

    def end(self):
        try:
            self.popen.stdin.close()
        except OSError:
            pass
        try:
            self.popen.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.popen.kill()
            self.popen.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


class ZorvtoolBatch:
    def __init__(self, command):
        self.command = list(command)
        self.local = threading.local()
        self.started = []
        self.started_lock = threading.Lock()
        atexit.register(self.close)

    def _process(self, cold):
        key = (dict(os.environ), os.getcwd())
        process = getattr(self.local, "process", None)
        if process is not None and (cold or process.popen.poll() is not None or self.local.key != key):
            process.end()
            process = None
        if process is None:
            process = self._start(key[0])
            self.local.process, self.local.key = process, key
            with self.started_lock:
                self.started.append(process)
        return process

    def _start(self, env, attempts=3):
        for _ in range(attempts):
            process = _Process(self.command, env)
            if process.ready:
                return process
            process.popen.wait()
            why = process.start_errors()
            process.end()
        raise RuntimeError("%s batch did not start in %d attempts (exit %s): %s"
                           % (self.command[-1], attempts, process.popen.returncode, why))

    def run(self, *args, timeout=None, cold=False):
        """The command's exit status, output and errors, as text; `cold` runs
        it in a new process. Arguments are text or bytes. A command still
        running after `timeout` seconds ends its process and raises
        subprocess.TimeoutExpired, as subprocess.run does, with what the
        command wrote until then."""
        if not args or not args[0]:
            return self._alone(args, timeout)
        process = self._process(cold)
        process.begin()
        timer, expired = None, threading.Event()
        if timeout is not None:
            timer = threading.Timer(timeout, lambda: (expired.set(), process.popen.kill()))
            timer.start()
        try:
            process.popen.stdin.write(b"\t".join(_field(a) for a in args) + b"\n")
            process.popen.stdin.flush()
            status = int(process.popen.stdout.readline())
        except (OSError, ValueError):
            # The process ended inside the command: its status is the answer.
            self.local.process = None
            process.popen.wait()
            out, err = process.output()
            process.end()
            if expired.is_set():
                raise subprocess.TimeoutExpired(self.command + list(args), timeout, output=out, stderr=err)
            return BatchResult(args, process.popen.returncode, out, err)
        finally:
            if timer is not None:
                timer.cancel()
        return BatchResult(args, status, *process.output())

    def _alone(self, args, timeout):
        done = subprocess.run([*self.command, *args], capture_output=True, text=True, encoding="utf-8",
                              errors="replace", timeout=timeout)
        return BatchResult(args, done.returncode, done.stdout, done.stderr)

    def close(self):
        """Ends the processes of every thread."""
        with self.started_lock:
            started, self.started = self.started, []
        for process in started:
            process.end()
