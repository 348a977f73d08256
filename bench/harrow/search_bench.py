"""Searches against the local site: a 200-page search (wall time, client CPU
and peak memory of travo-search, and the Python peer doing the same search)
and a search of about 20 pages on a smaller corpus, so that the CPU per page
of the two can be compared (the growth of the search with its length), also
beyond the CPU of a one-page search (the part that does not grow)."""
import os
import re
import resource
import subprocess
import sys
import tempfile
import time

bin_dir = sys.argv[1]
here = os.path.dirname(os.path.abspath(__file__))


def start_site(*args):
    site = subprocess.Popen([os.path.join(bin_dir, "patent-site"), "--port", "0", *args],
                            stdout=subprocess.PIPE, text=True)
    line = site.stdout.readline()
    return site, re.search(r"(http://\S+)", line).group(1)


def stop_site(site):
    site.terminate()
    site.wait()


def run_client(base):
    env = dict(os.environ, CORVANA_ROOT=tempfile.mkdtemp(prefix="travo-bench-"))
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    out = subprocess.run([os.path.join(bin_dir, "travo-search"), "--site", base, "裝置"],
                         env=env, stdout=subprocess.PIPE, text=True, check=True).stdout
    wall = time.perf_counter() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    pages = out.count("檢索專利如下:")
    return wall, cpu, pages, after.ru_maxrss


def measure(base, rounds=3):
    """The best of `rounds` runs after a warm-up, and the peak memory."""
    run_client(base)  # warm the site's caches and the page cache
    runs = [run_client(base) for _ in range(rounds)]
    return min(runs), max(r[3] for r in runs)


site, base = start_site()
try:
    (wall, cpu, pages, _), peak_kb = measure(base)
    if pages != 200:
        sys.exit("expected 200 pages, got %d" % pages)

    t0 = time.perf_counter()
    peer_pages = int(subprocess.run([sys.executable, os.path.join(here, "peer.py"), "search", base, "裝置"],
                                    stdout=subprocess.PIPE, text=True, check=True).stdout)
    peer_wall = time.perf_counter() - t0
finally:
    stop_site(site)

# About 45% of the corpus matches the query: 440 patents give about 20 pages.
small, small_base = start_site("--patents", "440")
try:
    # More rounds for the short search: a busy machine disturbs it more.
    (_, small_cpu, small_pages, _), _ = measure(small_base, rounds=7)
finally:
    stop_site(small)

# A search of one page: starting the process, the session, the first page
# and the workbook, the part of a search that does not grow with its pages.
one, one_base = start_site("--patents", "12")
try:
    (_, startup_cpu, one_pages, _), _ = measure(one_base, rounds=7)
finally:
    stop_site(one)
if one_pages != 1:
    sys.exit("expected 1 page from the one-page corpus, got %d" % one_pages)

per_page = cpu * 1000 / pages
small_per_page = small_cpu * 1000 / small_pages
print("search_200pages_s: %.3f" % wall)
print("search_cpu_per_page_ms: %.3f" % per_page)
print("search_200pages_peak_mb: %.1f" % (peak_kb / 1024))
print("search_python_peer_s: %.3f" % peer_wall)
print("search_vs_python_x: %.1f" % (peer_wall / wall))
if peer_pages != 200:
    print("search_python_peer_pages: %d" % peer_pages)
print("search_small_pages: %d" % small_pages)
print("search_cpu_per_page_ms_small: %.3f" % small_per_page)
print("search_per_page_small_vs_200_x: %.2f" % (small_per_page / per_page))
# Per page beyond a one-page search: how the cost grows with the list.
print("search_one_page_cpu_ms: %.1f" % (startup_cpu * 1000))
marginal = (cpu - startup_cpu) * 1000 / (pages - 1)
small_marginal = (small_cpu - startup_cpu) * 1000 / (small_pages - 1)
print("search_added_cpu_per_page_ms: %.3f" % marginal)
print("search_added_cpu_per_page_ms_small: %.3f" % small_marginal)
print("search_added_per_page_small_vs_200_x: %.2f" % (small_marginal / marginal))
