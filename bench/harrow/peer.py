"""The same work in Python (requests + BeautifulSoup), as a peer to compare with.

  peer.py get_data PAGE.html      -> prints mean ms per get_data call
  peer.py search BASE_URL TERM    -> runs a full search, prints pages fetched
"""
import sys
import time

import requests
from bs4 import BeautifulSoup

URL_PATH = "/travo2/travokmc/travobkm"
UA = ("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 "
      "(KHTML, like Gecko) Chrome/115.0.0.0 Safari/537.36")


def get_data(html):
    soup = BeautifulSoup(html, "html.parser")
    data = {k: [] for k in ("公開號", "標題", "申請日", "公開(公告)日", "申請號", "申請人")}
    for el in soup.select("td.sumtd2_PN > a.link02"):
        data["公開號"].append(el.get_text().strip())
    for el in soup.select("div.divsum_TI"):
        data["標題"].append(el.get_text().strip().split("\n")[0])
    for key, sel in (("申請日", "td.sumtd2_AD"), ("公開(公告)日", "td.sumtd2_ID"), ("申請號", "td.sumtd2_AN")):
        for el in soup.select(sel):
            data[key].append(el.get_text().strip())
    for el in soup.select("td.sumtd2_PA"):
        text = el.get_text("\n").strip()
        lines = [l.strip() for l in text.split("\n") if l.strip()]
        data["申請人"].append("\n".join(lines).split(";")[0])
    return data, soup


def page_query(info, pages, code=1):
    h = "%02X" % pages
    return info[:15] + str(code) + info[16:22] + h + info[24:43] + "4" + info[44:] + "^" + str(code)


def search(base, term):
    url = base + URL_PATH
    headers = {"User-Agent": UA, "Referer": url, "Origin": base}
    s = requests.Session()
    payload = {"_21_1_T": term, "_IMG_檢索.x": "1", "_IMG_檢索.y": "1",
               "__EVENTTARGET": "", "__EVENTARGUMENT": ""}
    r = s.post(url, data=payload, headers=headers, timeout=30)
    r.encoding = "utf-8"
    soup = BeautifulSoup(r.text, "html.parser")
    form = soup.find("form")
    from urllib.parse import urljoin
    target = urljoin(url, form.get("action") or "")
    fields = {}
    for inp in form.find_all("input"):
        if inp.get("name"):
            fields[inp.get("name")] = inp.get("value", "")
    if "_21_1_T" in fields:
        fields["_21_1_T"] = term
    r = s.post(target, data=fields, headers=headers, timeout=30)
    r.encoding = "utf-8"
    info = BeautifulSoup(r.text, "html.parser").find("input", {"type": "hidden", "name": "INFO"})["value"]
    pages = 0
    while pages < 200:
        r = s.get(url + "?" + page_query(info, pages), headers=headers, timeout=30)
        r.encoding = "utf-8"
        data, _ = get_data(r.text)
        if not data["公開號"]:
            break
        pages += 1
    return pages


def main():
    if sys.argv[1] == "get_data":
        html = open(sys.argv[2], encoding="utf-8").read()
        for _ in range(20):
            get_data(html)
        runs = 300
        t0 = time.perf_counter()
        for _ in range(runs):
            get_data(html)
        print("%.4f" % ((time.perf_counter() - t0) * 1000 / runs))
    else:
        print(search(sys.argv[2], sys.argv[3]))


if __name__ == "__main__":
    main()
