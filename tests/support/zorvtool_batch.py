"""zorvtool's commands (or a test probe's, which answers the same way) run
through one long-lived `batch` process per thread instead of one Wine start
each: a start costs a second or more on a busy machine, most commands a few
milliseconds.

A command that ends the process (a crash) is answered as the lone run would
be, with the process's exit status, and the next command starts a new one.
A process that ends before it says it is ready is started again: on a busy
machine Wine now and then fails to start a program at all ("Application
could not be started"), which says nothing of the command.
The process is started again when the environment the test gives its
programs has changed since its start."""
import atexit
import os
import subprocess
import tempfile
import threading


READY = b"batch ready\n"


class BatchResult:
    def __init__(self, args, returncode, stdout, stderr):
        self.args, self.returncode, self.stdout, self.stderr = args, returncode, stdout, stderr


def _escaped(field):
    return field.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


class ZorvtoolBatch:
    def __init__(self, command):
        self.command = list(command)
        self.local = threading.local()
        self.started = []
        self.started_lock = threading.Lock()
        atexit.register(self.close)

    def _process(self):
        env = dict(os.environ)
        process = getattr(self.local, "process", None)
        if process is not None and (process.poll() is not None or self.local.env != env):
            self._end(process)
            process = None
        if process is None:
            process = self._start(env)
            self.local.process, self.local.env = process, env
            with self.started_lock:
                self.started.append(process)
        return process

    def _start(self, env, attempts=3):
        for _ in range(attempts):
            with tempfile.TemporaryFile() as errors:
                process = subprocess.Popen([*self.command, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           stderr=errors, env=env)
                if process.stdout.readline() == READY:
                    return process
                process.wait()
                errors.seek(0)
                why = errors.read().decode("utf-8", "replace").strip()
        raise RuntimeError("%s batch did not start in %d attempts (exit %s): %s"
                           % (self.command[-1], attempts, process.returncode, why))

    @staticmethod
    def _end(process):
        try:
            process.stdin.close()
        except OSError:
            pass
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

    def run(self, *args, timeout=None):
        """The command's exit status, output and errors, as text; a command
        still running after `timeout` seconds ends its process and raises
        subprocess.TimeoutExpired, as subprocess.run does."""
        if not args or not args[0] or any("\r" in arg for arg in args):
            return self._alone(args, timeout)
        process = self._process()
        timer, expired = None, threading.Event()
        if timeout is not None:
            timer = threading.Timer(timeout, lambda: (expired.set(), process.kill()))
            timer.start()
        try:
            process.stdin.write(("\t".join(_escaped(a) for a in args) + "\n").encode("utf-8"))
            process.stdin.flush()
            header = process.stdout.readline().split()
            status, out_size, err_size = (int(value) for value in header)
            out = process.stdout.read(out_size)
            err = process.stdout.read(err_size)
        except (OSError, ValueError):
            # The process ended inside the command: its status is the answer.
            self.local.process = None
            self._end(process)
            if expired.is_set():
                raise subprocess.TimeoutExpired(self.command + list(args), timeout)
            return BatchResult(args, process.returncode, "", "")
        finally:
            if timer is not None:
                timer.cancel()
        return BatchResult(args, status, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"))

    def _alone(self, args, timeout):
        done = subprocess.run([*self.command, *args], capture_output=True, text=True, encoding="utf-8",
                              errors="replace", timeout=timeout)
        return BatchResult(args, done.returncode, done.stdout, done.stderr)

    def close(self):
        """Ends the processes of every thread."""
        with self.started_lock:
            started, self.started = self.started, []
        for process in started:
            self._end(process)
