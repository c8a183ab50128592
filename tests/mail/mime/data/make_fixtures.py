#!/usr/bin/env python3
"""Writes the mail fixtures of the MIME reader tests.

The non-ASCII bytes come from Python's own codecs (cp932, euc_jp, iso2022_jp, utf-8), not from
the converter the reader uses, so the tests compare the reader against an independent encoder.
Run it from anywhere; it writes next to itself. The expected texts live in the tests.
"""
import base64
import os
import quopri

HERE = os.path.dirname(os.path.abspath(__file__))
CRLF = b"\r\n"


def b_words(data: bytes, charset: str, cuts):
    """Encoded words of base64 over slices of data cut at the given byte offsets."""
    edges = [0, *cuts, len(data)]
    return [b"=?" + charset.encode() + b"?B?" + base64.b64encode(data[a:b]) + b"?="
            for a, b in zip(edges, edges[1:])]


def mail(headers, body: bytes, eol=CRLF) -> bytes:
    return eol.join(headers) + eol + eol + body


def lines(*parts: bytes, eol=CRLF) -> bytes:
    return eol.join(parts) + eol


def write(name: str, data: bytes):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    # ISO-2022-JP subject split in the middle of a character's two bytes and across escapes.
    subject = "【警告】サーバ改ざん検知 web01".encode("iso2022_jp")
    words = b_words(subject, "ISO-2022-JP", [8, 17, 26])
    assert subject[3:8].count(b"\x1b") == 0  # cut 8 falls inside the second character
    write("iso2022jp_split_subject.eml", mail(
        [b"From: tripwire@web01.example.jp",
         b"Subject: " + words[0] + b" " + words[1],
         b" " + words[2] + b"\t" + words[3].replace(b"?B?", b"?b?").replace(b"ISO-2022-JP", b"iso-2022-jp"),
         b"MIME-Version: 1.0",
         b"Content-Type: text/plain; charset=ISO-2022-JP",
         b"Content-Transfer-Encoding: 7bit"],
        lines("改ざんを検知しました。".encode("iso2022_jp"),
              "対象: /etc/passwd".encode("iso2022_jp"))))

    # UTF-8 subject whose words end in '=' padding, with a character split between words.
    subject = "監視レポート：ホスト web02 の変更".encode("utf-8")
    words = b_words(subject, "UTF-8", [4, 11, 19, 30])
    assert all(w.endswith(b"=?=") for w in words[:4])
    write("base64_padding_words.eml", mail(
        [b"Subject: " + b" ".join(words[:3]),
         b"\t" + b" ".join(words[3:]),
         b"MIME-Version: 1.0",
         b"Content-Type: text/plain; charset=utf-8",
         b"Content-Transfer-Encoding: base64"],
        base64.encodebytes("変更はありません。\r\n".encode("utf-8")).replace(b"\n", CRLF)))

    # Shift_JIS label with characters only the Windows table has.
    special = "①～㈱Ⅰ"
    write("shiftjis_cp932.eml", mail(
        [b"Subject: =?Shift_JIS?B?" + base64.b64encode(("障害" + special).encode("cp932")) + b"?=",
         b"MIME-Version: 1.0",
         b"Content-Type: text/plain; charset=\"Shift_JIS\"",
         b"Content-Transfer-Encoding: 8bit"],
        lines(("記号: " + special).encode("cp932"), "ＭＳ ゴシック".encode("cp932"))))

    write("eucjp_body.eml", mail(
        [b"Subject: =?EUC-JP?Q?" + b"".join(b"=%02X" % c for c in "日次報告".encode("euc_jp")) + b"?=",
         b"Content-Type: text/plain; charset=EUC-JP",
         b"Content-Transfer-Encoding: 8bit"],
        lines("ファイルの整合性を確認しました。".encode("euc_jp"), b"OK")))

    write("raw_sjis_header.eml", mail(
        [b"Subject: " + "侵入検知 サーバ web04".encode("cp932"),
         b"Content-Type: text/plain"],
        lines("本文もシフトJISです。".encode("cp932"))))

    write("raw_utf8_header.eml", mail(
        [b"Subject: " + "侵入検知 サーバ web05 ✓".encode("utf-8")],
        lines("本文は UTF-8 です。".encode("utf-8"))))

    # No charset anywhere: the reader has to recognise EUC-JP and ISO-2022-JP by their bytes.
    write("no_charset_eucjp.eml", mail(
        [b"Subject: no charset", b"MIME-Version: 1.0", b"Content-Type: text/plain"],
        lines("改ざんされたファイルはありません。".encode("euc_jp"))))
    write("no_charset_iso2022jp.eml", mail(
        [b"Subject: " + "生ヘッダ".encode("iso2022_jp")],
        lines("ジス漢字の本文".encode("iso2022_jp"))))

    # The attachment comes first and is text too: only the inline text part is the body.
    write("multipart_attachment.eml", mail(
        [b"Subject: with attachment",
         b"MIME-Version: 1.0",
         b"Content-Type: multipart/mixed; boundary=\"XyZ\""],
        lines(b"This is a multi-part message in MIME format.",
              b"--XyZ",
              b"Content-Type: text/plain; charset=us-ascii",
              b"Content-Disposition: attachment; filename=\"log.txt\"",
              b"",
              b"ATTACHED LOG TEXT",
              b"--XyZ",
              b"Content-Type: text/plain; name=\"named.txt\"",
              b"",
              b"NAMED PART TEXT",
              b"--XyZ",
              b"Content-Type: text/plain; charset=ISO-2022-JP",
              b"",
              "本文です".encode("iso2022_jp"),
              b"--XyZ",
              b"Content-Type: application/octet-stream",
              b"Content-Transfer-Encoding: base64",
              b"",
              base64.b64encode(bytes(range(40))),
              b"--XyZ--")))

    html = ("<html><head><title>T</title><style>p {color:red}</style></head><body>"
            "<p>警告&amp;注意</p><div>ホスト:&nbsp;web06<br>変更&#x3042;&#12354;</div>"
            "<script>alert(1)</script><ul><li>a  b</li><li>c</li></ul></body></html>")
    write("alternative_html_only.eml", mail(
        [b"Subject: html only",
         b"MIME-Version: 1.0",
         b"Content-Type: multipart/alternative; boundary=b1"],
        lines(b"--b1",
              b"Content-Type: text/html; charset=UTF-8",
              b"Content-Transfer-Encoding: quoted-printable",
              b"",
              quopri.encodestring(html.encode("utf-8")).replace(b"\n", CRLF),
              b"--b1--")))

    good = base64.b64encode(b"Line one\r\nLine two\r\n")
    write("broken_base64.eml", mail(
        [b"Subject: broken", b"Content-Transfer-Encoding: base64"],
        lines(good[:12], b"!!*#" + good[12:20], good[20:27])))

    write("nul_bytes.eml", mail(
        [b"Subject: nul\x00inside"],
        lines(b"before\x00after", b"\x00")))

    write("no_subject.eml", mail(
        [b"From: someone@example.jp", b"X-Subject: not this one"], lines(b"body")))

    write("folded_subject.eml", mail(
        [b"Subject: Tripwire report", b"\tfor host web03", b"  (daily)", b"To: ops"],
        lines(b"x")))

    # An RFC 822 mail from before MIME, saved with bare LF line ends.
    write("not_mime.eml", mail(
        [b"From: root@web07", b"Subject: cron output"],
        lines(b"line 1", b"line 2", eol=b"\n"), eol=b"\n"))

    write("forwarded_message.eml", mail(
        [b"Subject: Fwd: report", b"MIME-Version: 1.0",
         b"Content-Type: multipart/mixed; boundary=outer"],
        lines(b"--outer",
              b"Content-Type: message/rfc822",
              b"",
              b"Subject: inner",
              b"Content-Type: text/plain; charset=EUC-JP",
              b"",
              "転送された報告".encode("euc_jp"),
              b"--outer--")))

    write("empty.eml", b"")


if __name__ == "__main__":
    main()
