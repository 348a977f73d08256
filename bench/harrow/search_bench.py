"""A 200-page search against the local site: wall time, client CPU and peak
memory of travo-search, and the Python peer doing the same search."""
import os
import re
import resource
import subprocess
import sys
import tempfile
import time

bin_dir = sys.argv[1]
here = os.path.dirname(os.path.abspath(__file__))

site = subprocess.Popen([os.path.join(bin_dir, "patent-site"), "--port", "0"],
                        stdout=subprocess.PIPE, text=True)
try:
    line = site.stdout.readline()
    base = re.search(r"(http://\S+)", line).group(1)
    env = dict(os.environ, CORVANA_ROOT=tempfile.mkdtemp(prefix="travo-bench-"))

    def run_client():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        out = subprocess.run([os.path.join(bin_dir, "travo-search"), "--site", base, "裝置"],
                             env=env, stdout=subprocess.PIPE, text=True, check=True).stdout
        wall = time.perf_counter() - t0
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        pages = out.count("檢索專利如下:")
        return wall, cpu, pages, after.ru_maxrss

    run_client()  # warm the site's caches and the page cache
    runs = [run_client() for _ in range(3)]
    wall, cpu, pages, _ = min(runs)
    peak_kb = max(r[3] for r in runs)
    if pages != 200:
        sys.exit("expected 200 pages, got %d" % pages)

    t0 = time.perf_counter()
    peer_pages = int(subprocess.run([sys.executable, os.path.join(here, "peer.py"), "search", base, "裝置"],
                                    stdout=subprocess.PIPE, text=True, check=True).stdout)
    peer_wall = time.perf_counter() - t0
    print("search_200pages_s: %.3f" % wall)
    print("search_cpu_per_page_ms: %.3f" % (cpu * 1000 / pages))
    print("search_200pages_peak_mb: %.1f" % (peak_kb / 1024))
    print("search_python_peer_s: %.3f" % peer_wall)
    print("search_vs_python_x: %.1f" % (peer_wall / wall))
    if peer_pages != 200:
        print("search_python_peer_pages: %d" % peer_pages)
finally:
    site.terminate()
    site.wait()
