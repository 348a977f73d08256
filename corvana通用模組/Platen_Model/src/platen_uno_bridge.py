#!/usr/bin/python3
"""UNO helper of Platen_Model: converts documents through one resident office.

    platen_uno_bridge.py PIPE_NAME OFFICE_PGID CONNECT_TIMEOUT_S PRIVATE_DIR

The converter starts LibreOffice listening on the UNO pipe PIPE_NAME and runs
this helper with its request channel on standard input and output (its log
goes to standard error; anything else printed to standard output is sent
there too, so it cannot corrupt the channel). The helper connects once,
answers "ready" (or "fatal TEXT"), then serves one request per line:

    convert SOURCE_URL TARGET_URL  ->  ok | error TEXT | lost TEXT
    quit                           ->  bye   (the office is terminated first)

URLs arrive percent-encoded, so fields never contain spaces. "lost" means the
office itself is gone; the converter then restarts both processes. When the
channel closes without "quit", the converter's process has died: the helper
then ends the office (politely if it can, so LibreOffice removes its
sockets) and removes the converter's private folder, so nothing outlives
the owner. (On Windows the converter's job objects end office and helper
with it; OFFICE_PGID is then only the office's process id.)

The channel is read by a thread of its own, since Windows cannot select()
on pipes; the main thread waits on one queue for requests, for the end of
the channel and for finished conversions.

Each conversion runs on the office's main thread, handed over through
com.sun.star.awt.AsyncCallback, the way `soffice --convert-to` runs it: load,
export and close finish within one main-loop event. Writer defers the layout
of a document's comment sidebar to a later main-loop event; run from this
side's own thread, that event fires between the calls and builds the
sidebar's comment windows, whose UI descriptions the headless (-nogui)
packages do not ship, and the office aborts. Closing the document within the
same event cancels the deferred layout.

The helper always leaves through os._exit: PyUNO may crash while tearing
down a bridge whose office has gone away.
"""

import os
import queue
import shutil
import signal
import sys
import threading
import time

# Events on the main thread's queue.
LINE, CLOSED, DONE = "line", "closed", "done"

# Where answers go once Channel has taken standard output over.
CHANNEL_OUT = None


class Channel:
    """Requests from standard input, answers to standard output."""

    def __init__(self):
        global CHANNEL_OUT
        self.inp = os.dup(0)
        self.out = CHANNEL_OUT = os.dup(1)
        # Stray output of Python or UNO goes to the log, not the channel.
        os.dup2(2, 1)
        sys.stdout = sys.stderr
        self.events = queue.Queue()
        self.closed = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.inp, 65536)
            except OSError:  # a reset from a converter that died counts as the end
                chunk = b""
            if not chunk:
                self.closed.set()
                self.events.put((CLOSED, None))
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                self.events.put((LINE, line.rstrip(b"\r").decode("utf-8", "replace")))

    def send(self, text):
        data = (text.replace("\n", " ").replace("\r", " ") + "\n").encode("utf-8", "replace")
        while data:
            data = data[os.write(self.out, data):]

    def line(self):
        """The next request, or None once the channel is closed."""
        kind, value = self.events.get()
        return value if kind == LINE else None


def group_alive(pgid):
    if not hasattr(os, "killpg"):
        return False
    try:
        os.killpg(pgid, 0)
        return True
    except OSError:
        return False


def kill_office(pgid):
    try:
        if hasattr(os, "killpg"):
            os.killpg(pgid, signal.SIGKILL)
        else:
            os.kill(pgid, signal.SIGTERM)  # TerminateProcess
    except OSError:
        pass


def abandon(office_pgid, private_dir, desktop=None):
    """Cleans up after a converter that died without ending its office."""
    if desktop is not None:
        try:
            desktop.terminate()
        except Exception:
            pass
        deadline = time.monotonic() + 3
        while group_alive(office_pgid) and time.monotonic() < deadline:
            time.sleep(0.05)
    kill_office(office_pgid)
    deadline = time.monotonic() + 3
    while group_alive(office_pgid) and time.monotonic() < deadline:
        time.sleep(0.05)
    # Only a folder laid out by the converter is removed.
    if os.path.isdir(os.path.join(private_dir, "profile-resident")):
        shutil.rmtree(private_dir, ignore_errors=True)
    os._exit(0)


def describe(exc):
    message = getattr(exc, "Message", None) or str(exc)
    return "%s: %s" % (type(exc).__name__, message.strip() or "no details")


def main():
    if len(sys.argv) != 5:
        sys.stderr.write("usage: platen_uno_bridge.py PIPE_NAME OFFICE_PGID CONNECT_TIMEOUT_S PRIVATE_DIR\n")
        os._exit(2)
    pipe_name, office_pgid, connect_timeout = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    private_dir = sys.argv[4]
    channel = Channel()

    try:
        import uno
        import unohelper
        from com.sun.star.awt import XCallback
        from com.sun.star.beans import PropertyValue
        from com.sun.star.connection import NoConnectException
    except ImportError as exc:
        channel.send("fatal the Python UNO module is missing (install python3-uno): %s" % exc)
        os._exit(3)

    def prop(name, value):
        p = PropertyValue()
        p.Name = name
        p.Value = value
        return p

    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    url = "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name
    deadline = time.monotonic() + connect_timeout
    context = None
    while context is None:
        try:
            context = resolver.resolve(url)
        except NoConnectException:
            if time.monotonic() >= deadline:
                channel.send("fatal LibreOffice did not accept a UNO connection within %g s" % connect_timeout)
                os._exit(4)
            # The pause doubles as a watch on the channel: if the converter
            # is gone there is nobody to start the office for.
            if channel.closed.wait(0.02):
                abandon(office_pgid, private_dir)
    desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
    main_thread = context.ServiceManager.createInstanceWithContext("com.sun.star.awt.AsyncCallback", context)
    channel.send("ready")

    load_props = (
        prop("Hidden", True),
        prop("ReadOnly", True),
        prop("MacroExecutionMode", 0),  # NEVER_EXECUTE
        prop("UpdateDocMode", 0),  # NO_UPDATE: no links fetched
    )
    store_props = (prop("FilterName", "writer_pdf_Export"), prop("Overwrite", True))

    def office_alive():
        try:
            desktop.getFrames().getCount()
            return True
        except Exception:
            return False

    class Job(unohelper.Base, XCallback):
        """Runs `work` when the office calls back from its main thread.

        The calls `work` makes back into the office arrive on the thread
        that is waiting for notify() to return, i.e. the main thread. No
        exception may escape into the office's event loop."""

        def __init__(self, work):
            self.work = work
            self.result = None
            self.error = None
            self.done = False

        def notify(self, _data):
            try:
                self.result = self.work()
            except Exception as exc:
                self.error = exc
            finally:
                self.done = True
                channel.events.put((DONE, self))

    def on_main_thread(work):
        job = Job(work)
        main_thread.addCallback(job, None)
        early = []  # requests are not pipelined, but keep any in order
        while True:
            kind, value = channel.events.get()
            if kind == DONE and value is job:
                break
            if kind == LINE:
                early.append((kind, value))
            elif kind == CLOSED:
                # The converter is gone mid-conversion. The office is busy
                # with the document, so it is not asked to terminate.
                abandon(office_pgid, private_dir)
        for event in early:
            channel.events.put(event)
        if job.error is not None:
            raise job.error
        return job.result

    SENT = object()  # convert() has answered the converter itself

    def convert(source, target):
        document = desktop.loadComponentFromURL(source, "_blank", 0, load_props)
        if document is None:
            return "error LibreOffice could not open the document"
        try:
            if not document.supportsService("com.sun.star.text.TextDocument"):
                return "error the file is not a text document"
            document.storeToURL(target, store_props)
            # The PDF is complete once storeToURL returns: answer now, so the
            # converter need not wait for the close (a tenth of a warm
            # conversion), which stays within this same event (see above).
            # Should the converter be gone, the error's reply fails to send
            # as well, and the helper cleans up below.
            channel.send("ok")
            return SENT
        finally:
            try:
                document.close(True)
            except Exception:
                pass

    while True:
        line = channel.line()
        if line is None:
            abandon(office_pgid, private_dir, desktop)
        fields = line.split(" ")
        if fields[0] == "convert" and len(fields) == 3:
            try:
                reply = on_main_thread(lambda: convert(fields[1], fields[2]))
            except Exception as exc:
                reply = ("error " if office_alive() else "lost ") + describe(exc)
        elif fields[0] == "quit":
            try:
                desktop.terminate()
            except Exception:
                pass
            reply = "bye"
        else:
            reply = "error unknown request"
        if reply is SENT:
            continue
        try:
            channel.send(reply)
        except OSError:  # the converter went away mid-request
            abandon(office_pgid, private_dir, desktop)
        if reply == "bye":
            os._exit(0)


if __name__ == "__main__":
    try:
        main()
    except Exception as exc:  # a helper that cannot go on must still answer
        try:
            out = 1 if CHANNEL_OUT is None else CHANNEL_OUT
            os.write(out, ("fatal " + describe(exc) + "\n").encode("utf-8", "replace"))
        except OSError:
            pass
        os._exit(5)
