"""The floor under pdf_warm_s: the same resident LibreOffice driven directly
over UNO, with the same load and store properties, timing load + PDF export
+ close of REPORT.docx. Prints the median of five warm conversions in seconds.

    office_floor.py REPORT.docx
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def main():
    source = uno.systemPathToFileUrl(os.path.abspath(sys.argv[1]))
    with tempfile.TemporaryDirectory() as work:
        pipe = "office-floor-%d" % os.getpid()
        office = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "-env:UserInstallation=" + uno.systemPathToFileUrl(work + "/profile"),
             "--accept=pipe,name=%s;urp;" % pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            local = uno.getComponentContext()
            resolver = local.ServiceManager.createInstanceWithContext(
                "com.sun.star.bridge.UnoUrlResolver", local)
            deadline = time.monotonic() + 120
            while True:
                try:
                    context = resolver.resolve(
                        "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                    break
                except NoConnectException:
                    if time.monotonic() > deadline:
                        sys.exit("office_floor: LibreOffice did not start")
                    time.sleep(0.05)
            desktop = context.ServiceManager.createInstanceWithContext(
                "com.sun.star.frame.Desktop", context)
            load = (prop("Hidden", True), prop("ReadOnly", True),
                    prop("MacroExecutionMode", 0), prop("UpdateDocMode", 0))
            store = (prop("FilterName", "writer_pdf_Export"), prop("Overwrite", True))
            target = uno.systemPathToFileUrl(work + "/floor.pdf")
            times = []
            for run in range(6):  # the first warms the office, as the bench's cold runs do
                start = time.monotonic()
                document = desktop.loadComponentFromURL(source, "_blank", 0, load)
                document.storeToURL(target, store)
                document.close(True)
                if run:
                    times.append(time.monotonic() - start)
            print("%.3f" % statistics.median(times))
            desktop.terminate()
        finally:
            try:
                office.wait(timeout=30)
            except subprocess.TimeoutExpired:
                office.kill()


if __name__ == "__main__":
    main()
