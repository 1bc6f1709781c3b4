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
        '<IMG src="${ImageFileURL}" width="${DisplayWidth}" height="${DisplayHeight}" '
        'alt="${DetailPageTitle}">',
    "DirLeaderTemplate": '<H2>Albums</H2>\n<DIV class="grid">',
    "DirEntryTemplate":
        '<A class="card album" href="${AnchorFileURL}">'
        '<IMG src="${ImageFileURL}" width="${DisplayWidth}" height="${DisplayHeight}" alt="">'
        "<SPAN>${PageLabel}</SPAN><SMALL>${TotalFileSizeInK} K</SMALL></A>",
    "DirTrailerTemplate": "</DIV>",
    "FileLeaderTemplate": '<H2>Pictures</H2>\n<DIV class="grid">',
    "FileEntryTemplate":
        '<A class="card" href="${DetailPageFileURL}">${ImageTag}'
        "<SPAN>${DetailPageLabel}</SPAN></A>",
    "FileTrailerTemplate": "</DIV>",
    "PageEndTemplate":
        "<FOOTER>Pictures on this page: ${FileLinkCount} &middot; ${TotalFileSizeInK} K in all "
        "&middot; pictures by ${PersonFullNameHTML}</FOOTER>\n"
        "</DIV>\n</BODY>",
    "ParentPageLabel": "${PageLabel}",
    "PossibleReturnLabel": '<A class="up" href="${ParentPageAnchor}">&#8592; ${ParentPageLabel}</A>',
    "DetailPageTitle": "${BaseFileNameHTML}",
    "DetailPageLabel": "${BaseFileNameHTML}",
    "ImagePhotographerName": "${PersonFullNameHTML}",
    "DetailPageTemplate":
        "<HEAD>\n"
        '<META charset="utf-8">\n'
        '<META name="viewport" content="width=device-width, initial-scale=1">\n'
        "<TITLE>${DetailPageTitle}</TITLE>\n"
        "<STYLE>\n" + STYLE + "\n</STYLE>\n"
        "</HEAD>\n"
        "<BODY>\n"
        '<DIV class="page">\n'
        '<NAV><A href="${PageHTMLFileURL}">&#8592; ${PageLabel}</A></NAV>\n'
        "<H1>${DetailPageLabel}</H1>\n"
        '<P class="picture"><A href="${AnchorFileURL}"><IMG src="${AnchorFileURL}" '
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
    "PageTitle": "${DirBaseNameHTML}",
    "PageLabel": "${DirBaseNameHTML}",
}

MGLOBALS = {
    "VariableFileTitle": "Match pages",
    "VariableFileDescription": "Variables of every match page (a series of pictures).",
    "PageTitle": "${DirBaseNameHTML}: ${SearchPatternHTML}",
    "PageLabel": "Series ${SearchPatternHTML}",
}

def with_style(layout, style, title, description):
    """A copy of `layout` with another style sheet, title and description."""
    result = dict(layout)
    result["VariableFileTitle"] = title
    result["VariableFileDescription"] = description
    for name in ("PageHeadTemplate", "DetailPageTemplate"):
        result[name] = result[name].replace(STYLE, style)
    return result


DARK_STYLE = """
  body { margin: 0; background: #15171a; color: #e8e6e3;
    font: 16px/1.5 "Helvetica Neue", Helvetica, Arial, sans-serif; }
  .page { max-width: 72rem; margin: 0 auto; padding: 2rem 1.5rem 4rem; }
  nav { font-size: .85rem; min-height: 1.4rem; letter-spacing: .05em; }
  nav a, a.up { color: #9fb7d0; text-decoration: none; }
  h1 { font-weight: 200; font-size: 2.8rem; margin: .4rem 0; }
  h2 { font-weight: 400; font-size: .8rem; color: #7d8791; text-transform: uppercase;
    letter-spacing: .3em; margin: 2.5rem 0 1rem; }
  .intro { color: #aab1b8; max-width: 40rem; }
  .grid { display: flex; flex-wrap: wrap; gap: 1.5rem; }
  .card { display: flex; flex-direction: column; align-items: center; justify-content: flex-end;
    padding: .5rem; min-width: 9rem; color: inherit; text-decoration: none;
    background: #1e2126; border: 1px solid #2a2e34; }
  .card:hover { border-color: #9fb7d0; }
  .card img { display: block; }
  .card span { margin-top: .5rem; font-size: .85rem; max-width: 12rem; text-align: center;
    overflow-wrap: anywhere; }
  .card small { color: #7d8791; font-size: .7rem; }
  footer { margin-top: 4rem; font-size: .75rem; color: #5f6870; }
  .picture img { max-width: 100%; height: auto; }
  .about { color: #aab1b8; font-size: .9rem; }
  .about b { color: #e8e6e3; font-weight: 600; }
""".strip("\n")

SHEET_STYLE = """
  body { margin: 0; background: #fff; color: #111; font: 14px/1.4 Georgia, serif; }
  .page { max-width: 64rem; margin: 0 auto; padding: 1rem; }
  nav { font-size: .85rem; font-style: italic; }
  nav a, a.up { color: #a00; }
  h1 { font-size: 1.8rem; margin: .2rem 0; border-bottom: 3px double #111; }
  h2 { font-size: 1rem; margin: 1.2rem 0 .4rem; font-variant: small-caps; }
  .intro { font-style: italic; }
  .grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(12rem, 1fr));
    border-top: 1px solid #111; border-left: 1px solid #111; }
  .card { display: flex; flex-direction: column; align-items: center; padding: .4rem;
    border-right: 1px solid #111; border-bottom: 1px solid #111; color: inherit;
    text-decoration: none; }
  .card:hover { background: #f3efe6; }
  .card img { display: block; max-width: 100%; height: auto; }
  .card span { font-size: .75rem; text-align: center; overflow-wrap: anywhere; }
  .card small { font-size: .7rem; color: #555; }
  footer { margin-top: 2rem; font-size: .75rem; border-top: 1px solid #111; }
  .picture img { max-width: 100%; height: auto; border: 1px solid #111; }
  .about { font-size: .85rem; }
""".strip("\n")

LIST_LAYOUT = dict(GLOBALS)
LIST_LAYOUT.update({
    "VariableFileTitle": "Plain list",
    "VariableFileDescription":
        "No frills: a table of albums and a table of pictures with their sizes,\n"
        "quick to load on any connection.",
    "PageHeadTemplate":
        '<META charset="utf-8">\n'
        '<META name="viewport" content="width=device-width, initial-scale=1">\n'
        "<TITLE>${PageTitle}</TITLE>\n"
        "<STYLE>\n"
        "  body { font: 15px/1.5 system-ui, sans-serif; margin: 1.5rem auto; max-width: 48rem;\n"
        "    padding: 0 1rem; color: #222; }\n"
        "  table { border-collapse: collapse; width: 100%; }\n"
        "  td, th { border-bottom: 1px solid #ddd; padding: .3rem .5rem; text-align: left;\n"
        "    vertical-align: middle; }\n"
        "  th { font-size: .8rem; color: #666; }\n"
        "  a { color: #0645ad; }\n"
        "  img { display: block; }\n"
        "  .picture img { max-width: 100%; height: auto; }\n"
        "</STYLE>",
    "PageBodyTemplate": "<NAV>${ActualReturnLabel}</NAV>\n<H1>${PageLabel}</H1>\n<P>${PageIntro}</P>",
    "DirLeaderTemplate":
        "<H2>Albums</H2>\n<TABLE>\n<TR><TH></TH><TH>Album</TH><TH>Pictures</TH><TH>Size</TH></TR>",
    "DirEntryTemplate":
        '<TR><TD><A href="${AnchorFileURL}"><IMG src="${ImageFileURL}" width="${DisplayWidth}" '
        'height="${DisplayHeight}" alt=""></A></TD><TD><A href="${AnchorFileURL}">${PageLabel}</A>'
        "</TD><TD>${FileLinkCount}</TD><TD>${TotalFileSizeInK} K</TD></TR>",
    "DirTrailerTemplate": "</TABLE>",
    "FileLeaderTemplate":
        "<H2>Pictures</H2>\n<TABLE>\n<TR><TH></TH><TH>Picture</TH><TH>Pixels</TH><TH>Size</TH></TR>",
    "FileEntryTemplate":
        '<TR><TD><A href="${DetailPageFileURL}">${ImageTag}</A></TD>'
        '<TD><A href="${DetailPageFileURL}">${DetailPageLabel}</A></TD>'
        "<TD>${AnchorWidth} &times; ${AnchorHeight}</TD><TD>${FileSizeInK} K</TD></TR>",
    "FileTrailerTemplate": "</TABLE>",
    "PageEndTemplate": "<P><SMALL>${TotalFileSizeInK} K of pictures. ${PersonFullNameHTML}</SMALL></P>\n</BODY>",
    "DetailPageTemplate":
        "<HEAD>\n"
        '<META charset="utf-8">\n'
        '<META name="viewport" content="width=device-width, initial-scale=1">\n'
        "<TITLE>${DetailPageTitle}</TITLE>\n"
        "<STYLE>\n"
        "  body { font: 15px/1.5 system-ui, sans-serif; margin: 1.5rem auto; max-width: 60rem;\n"
        "    padding: 0 1rem; color: #222; }\n"
        "  img { max-width: 100%; height: auto; }\n"
        "</STYLE>\n"
        "</HEAD>\n"
        "<BODY>\n"
        '<P><A href="${PageHTMLFileURL}">${PageLabel}</A></P>\n'
        "<H1>${DetailPageLabel}</H1>\n"
        '<P><A href="${AnchorFileURL}"><IMG src="${AnchorFileURL}" width="${AnchorWidth}" '
        'height="${AnchorHeight}" alt="${DetailPageTitle}"></A></P>\n'
        "<P>${ImageDescription}</P>\n"
        "<P>${ImageSubjectName}, ${ImagePhotographerName}. ${AnchorWidth} &times; "
        "${AnchorHeight} pixels, ${FileSizeInK} K.</P>\n"
        "</BODY>",
})

SAMPLES = {
    "samp0001.txt": with_style(GLOBALS, STYLE, "Warm paper",
                               "The default look: albums and pictures as cards on warm paper,\n"
                               "with a detail page for every picture."),
    "samp0002.txt": with_style(GLOBALS, DARK_STYLE, "Dark gallery",
                               "Pictures on a dark ground, as in a gallery at night;\n"
                               "quiet type, wide spacing."),
    "samp0003.txt": LIST_LAYOUT,
    "samp0004.txt": with_style(GLOBALS, SHEET_STYLE, "Contact sheet",
                               "A dense grid ruled like a printed contact sheet, set in a serif face."),
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
    for name, variables in SAMPLES.items():
        text = record_text(variables)
        assert len(text) <= 16384, f"{name} is longer than the sample list reads"
        (data / name).write_bytes(text.encode("ascii"))
        print("wrote", data / name)


if __name__ == "__main__":
    main()
