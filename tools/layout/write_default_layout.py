#!/usr/bin/env python3
"""Writes the default layout files into data/ as variable records with CR LF line ends.

A value may span several lines but must not hold a blank line nor end with a line break
(a record ends at the first blank line), and no line inside a value
may begin with two or more letters and a colon (that would start a new variable): style
sheet lines are therefore indented.
"""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]

STYLE = """
  body { margin: 0; background: #f4f1ec; color: #2b2a28;
    font: 16px/1.5 "Helvetica Neue", Helvetica, Arial, sans-serif; }
  .page { max-width: 60rem; margin: 0 auto; padding: 1.5rem 1.25rem 3rem; }
  nav { font-size: .9rem; min-height: 1.4rem; }
  nav a, a.up { color: #7a5c3e; text-decoration: none; }
  nav a:hover { text-decoration: underline; }
  h1 { font-weight: 300; font-size: 2.2rem; margin: .3rem 0 .2rem; letter-spacing: .01em; }
  h2 { font-weight: 400; font-size: 1.1rem; color: #7a5c3e; text-transform: uppercase;
    letter-spacing: .12em; margin: 2rem 0 .8rem; border-bottom: 1px solid #ddd3c6; }
  .intro { color: #5a5550; max-width: 42rem; }
  .grid { display: flex; flex-wrap: wrap; gap: 1rem; }
  .card { display: flex; flex-direction: column; align-items: center; justify-content: flex-end;
    background: #fff; border-radius: 6px; padding: .7rem .7rem .5rem; min-width: 8rem;
    box-shadow: 0 1px 3px rgba(0,0,0,.12); color: inherit; text-decoration: none; }
  .card:hover { box-shadow: 0 3px 10px rgba(0,0,0,.2); }
  .card img { display: block; border-radius: 3px; }
  .card span { margin-top: .4rem; font-size: .9rem; max-width: 12rem; text-align: center;
    overflow-wrap: anywhere; }
  .card small { color: #8a837b; font-size: .75rem; }
  .album { background: #fbf8f3; }
  footer { margin-top: 3rem; font-size: .8rem; color: #8a837b; }
  .picture img { max-width: 100%; height: auto; border-radius: 4px;
    box-shadow: 0 2px 12px rgba(0,0,0,.25); }
  .about { color: #5a5550; font-size: .9rem; }
  .about b { color: #2b2a28; font-weight: 600; }
""".strip("\n")

GLOBALS = {
    "VariableFileTitle": "Pixamond default layout",
    "VariableFileDescription":
        "A light, modern gallery: albums and series as cards, pictures in a grid,\n"
        "and a detail page for every picture.",
    "PageHeadTemplate":
        '<META charset="utf-8">\n'
        '<META name="viewport" content="width=device-width, initial-scale=1">\n'
        "<TITLE>${PageTitle}</TITLE>\n"
        "<STYLE>\n" + STYLE + "\n</STYLE>",
    "BodyTag": "<BODY>",
    "PageBodyTemplate":
        '<DIV class="page">\n'
        "<NAV>${ActualReturnLabel}</NAV>\n"
        "<H1>${PageLabel}</H1>\n"
        '<P class="intro">${PageIntro}</P>',
    "PageBodyBeginTemplate": "${BodyTag}\n${PageBodyTemplate}",
    "ImageTag":
        '<IMG src="${ImageFileName}" width="${DisplayWidth}" height="${DisplayHeight}" '
        'alt="${DetailPageTitle}">',
    "DirLeaderTemplate": '<H2>Albums</H2>\n<DIV class="grid">',
    "DirEntryTemplate":
        '<A class="card album" href="${AnchorFileName}">'
        '<IMG src="${ImageFileName}" width="${DisplayWidth}" height="${DisplayHeight}" alt="">'
        "<SPAN>${PageLabel}</SPAN><SMALL>${FileLinkCount} pictures, ${TotalFileSizeInK} K"
        "</SMALL></A>",
    "DirTrailerTemplate": "</DIV>",
    "FileLeaderTemplate": '<H2>Pictures</H2>\n<DIV class="grid">',
    "FileEntryTemplate":
        '<A class="card" href="${DetailPageFileName}">${ImageTag}'
        "<SPAN>${DetailPageLabel}</SPAN></A>",
    "FileTrailerTemplate": "</DIV>",
    "PageEndTemplate":
        "<FOOTER>${FileLinkCount} pictures on this page, ${TotalFileSizeInK} K in all.\n"
        "Pictures by ${PersonFullName}.</FOOTER>\n"
        "</DIV>\n</BODY>",
    "ParentPageLabel": "${PageLabel}",
    "PossibleReturnLabel": '<A class="up" href="${ParentPageAnchor}">&#8592; ${ParentPageLabel}</A>',
    "DetailPageTitle": "${BaseFileName}",
    "DetailPageLabel": "${BaseFileName}",
    "ImagePhotographerName": "${PersonFullName}",
    "DetailPageTemplate":
        "<HEAD>\n"
        '<META charset="utf-8">\n'
        '<META name="viewport" content="width=device-width, initial-scale=1">\n'
        "<TITLE>${DetailPageTitle}</TITLE>\n"
        "<STYLE>\n" + STYLE + "\n</STYLE>\n"
        "</HEAD>\n"
        "<BODY>\n"
        '<DIV class="page">\n'
        '<NAV><A href="${PageHTMLFileName}">&#8592; ${PageLabel}</A></NAV>\n'
        "<H1>${DetailPageLabel}</H1>\n"
        '<P class="picture"><A href="${AnchorFileName}"><IMG src="${AnchorFileName}" '
        'width="${AnchorWidth}" height="${AnchorHeight}" alt="${DetailPageTitle}"></A></P>\n'
        "<P>${ImageDescription}</P>\n"
        '<P class="about"><B>${ImageSubjectName}</B> &middot; photographed by '
        "${ImagePhotographerName} &middot; ${AnchorWidth} &times; ${AnchorHeight} pixels, "
        "${FileSizeInK} K</P>\n"
        "</DIV>\n"
        "</BODY>",
}

DGLOBALS = {
    "VariableFileTitle": "Directory pages",
    "VariableFileDescription": "Variables of every directory index page.",
    "PageTitle": "${DirBaseName}",
    "PageLabel": "${DirBaseName}",
}

MGLOBALS = {
    "VariableFileTitle": "Match pages",
    "VariableFileDescription": "Variables of every match page (a series of pictures).",
    "PageTitle": "${DirBaseName}: ${SearchPattern}",
    "PageLabel": "Series ${SearchPattern}",
}

NAME_LINE = re.compile(r"^[A-Za-z:]{2}[A-Za-z]*:")


def record_text(variables):
    out = []
    for name, value in variables.items():
        assert not value.endswith("\n"), f"{name}: a stored value cannot end with a line break"
        lines = value.split("\n")
        for line in lines[1:]:
            assert line.strip() != "", f"{name}: a value cannot hold a blank line"
            assert not NAME_LINE.match(line), f"{name}: line would start a record: {line!r}"
        out.append(name + ":\r\n" + value.replace("\n", "\r\n") + "\r\n\r\n")
    return "".join(out)


def main():
    data = ROOT / "data"
    for name, variables in (("globals.txt", GLOBALS), ("dglobals.txt", DGLOBALS),
                            ("mglobals.txt", MGLOBALS)):
        (data / name).write_bytes(record_text(variables).encode("ascii"))
        print("wrote", data / name)


if __name__ == "__main__":
    main()
