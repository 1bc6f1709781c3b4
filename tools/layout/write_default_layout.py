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

# Every style sheet starts with these rules, which the templates below rely on: cards that
# wrap at their thumbnails' size and become two columns filling a phone's width, the
# detail picture that fits the window, and the separators of the facts line, which appear
# only between facts that are there.
COMMON_STYLE = """
  .grid { display: flex; flex-wrap: wrap; gap: var(--gap); }
  .card { display: flex; flex-direction: column; align-items: center; justify-content: flex-end;
    min-width: 0; color: inherit; text-decoration: none; }
  .card img { display: block; max-width: 100%; height: auto; }
  .card span { margin-top: .4rem; text-align: center; overflow-wrap: anywhere; }
  body { overflow-wrap: break-word; }
  h1, h2, .caption, .facts, .pager, td { overflow-wrap: anywhere; }
  @media (max-width: 40rem) {
    .grid { display: grid; grid-template-columns: repeat(2, minmax(0, 1fr)); } }
  .picture { margin: 1rem 0; text-align: center; }
  .picture img { height: auto; max-width: 100%; }
  .picture video { max-width: 100%; height: auto; background: #000; }
  .pager { display: flex; flex-wrap: wrap; gap: .5rem 1.5rem; justify-content: space-between; }
  .steps { display: flex; flex-wrap: wrap; gap: .5rem 1rem; }
  .pages { margin: 1.5rem 0; justify-content: center; }
  h1 { line-height: 1.2; }
  .facts > span:not(:empty) ~ span:not(:empty)::before { content: " \\00b7  "; }
""".strip("\n")

# The full-screen viewer of the pictures of an index page: the picture as large as the
# window allows, its caption, buttons for previous, next, slideshow and close. Hidden until
# the script opens it.
VIEWER_STYLE = """
  .viewer { position: fixed; inset: 0; z-index: 10; background: #111; color: #eee;
    display: flex; flex-direction: column; align-items: center; justify-content: center; }
  .viewer[hidden] { display: none; }
  .viewer img { max-width: 100vw; max-height: calc(100vh - 8rem); object-fit: contain; }
  .viewer p { margin: .5rem 1rem; text-align: center; min-height: 1.5em; }
  .viewer div { display: flex; gap: .5rem; align-items: center; }
  .viewer button { font: inherit; font-size: 1.3rem; min-width: 2.75rem; min-height: 2.75rem;
    color: #eee; background: rgba(255,255,255,.14); border: 0; border-radius: 4px; cursor: pointer; }
  .viewer button:focus-visible { outline: 2px solid #fff; }
  .viewing { overflow: hidden; }
""".strip("\n")

# Opens a picture of the page in the viewer instead of its detail page: arrow keys, swipes
# and the buttons move, Escape or a click beside the picture closes it, the space bar or the
# play button runs a slideshow. Without the script every link leads to the detail page, and
# a link opened in a new tab or window still does. No "${" may appear: it would be taken for
# a template reference.
VIEWER_SCRIPT = """<SCRIPT>(function () {
  var links = [].slice.call(document.querySelectorAll("a[data-full]"));
  if (!links.length) return;
  var box, img, caption, count, play, at = 0, timer = null, touchX = null;
  function make(tag, text) {
    var e = document.createElement(tag);
    if (text) e.textContent = text;
    return e; }
  function button(label, text, act) {
    var b = make("button", text);
    b.type = "button"; b.title = label; b.setAttribute("aria-label", label);
    b.addEventListener("click", function (e) { e.stopPropagation(); act(); });
    return b; }
  function build() {
    box = make("div"); box.className = "viewer"; box.hidden = true; box.tabIndex = -1;
    box.setAttribute("role", "dialog"); box.setAttribute("aria-modal", "true");
    box.setAttribute("aria-label", "Picture viewer");
    img = make("img"); caption = make("p"); count = make("span");
    var bar = make("div");
    play = button("Slideshow", "\\u25b6", slideshow);
    [button("Previous picture", "\\u2039", function () { step(-1); }), count, play,
     button("Next picture", "\\u203a", function () { step(1); }),
     button("Close", "\\u00d7", close)].forEach(function (e) { bar.appendChild(e); });
    [img, caption, bar].forEach(function (e) { box.appendChild(e); });
    box.addEventListener("click", function (e) { if (e.target === box) close(); });
    box.addEventListener("touchstart", function (e) { touchX = e.touches[0].clientX; }, {passive: true});
    box.addEventListener("touchend", function (e) {
      if (touchX === null) return;
      var dx = e.changedTouches[0].clientX - touchX;
      touchX = null;
      if (Math.abs(dx) > 40) step(dx < 0 ? 1 : -1); });
    document.body.appendChild(box); }
  function show(i) {
    at = (i + links.length) % links.length;
    var a = links[at], text = a.getAttribute("data-caption") || "";
    img.src = a.getAttribute("data-full"); img.alt = text; caption.textContent = text;
    count.textContent = (at + 1) + " / " + links.length;
    new Image().src = links[(at + 1) % links.length].getAttribute("data-full"); }
  function step(d) { show(at + d); }
  function open(i) {
    if (!box) build();
    box.hidden = false; document.documentElement.classList.add("viewing");
    show(i); box.focus(); }
  function stop() {
    if (timer) clearInterval(timer);
    timer = null; play.textContent = "\\u25b6"; play.setAttribute("aria-label", "Slideshow"); }
  function close() {
    stop(); box.hidden = true; document.documentElement.classList.remove("viewing");
    links[at].focus(); }
  function slideshow() {
    if (timer) { stop(); return; }
    timer = setInterval(function () { step(1); }, 4000);
    play.textContent = "\\u275a\\u275a"; play.setAttribute("aria-label", "Stop the slideshow"); }
  links.forEach(function (a, i) {
    a.addEventListener("click", function (e) {
      if (e.button || e.ctrlKey || e.metaKey || e.shiftKey || e.altKey) return;
      e.preventDefault(); open(i); }); });
  document.addEventListener("keydown", function (e) {
    if (!box || box.hidden) return;
    if (e.key === "Escape") close();
    else if (e.key === "ArrowRight") step(1);
    else if (e.key === "ArrowLeft") step(-1);
    else if (e.key === " ") { e.preventDefault(); slideshow(); } });
})();</SCRIPT>"""

STYLE = """
  body { margin: 0; background: #f4f1ec; color: #2b2a28;
    font: 16px/1.5 "Helvetica Neue", Helvetica, Arial, sans-serif;
    --gap: 1rem; }
  .page { max-width: 62rem; margin: 0 auto; padding: 1.5rem 1rem 3rem; }
  nav { font-size: .9rem; min-height: 1.4rem; }
  nav a, a.up { color: #6e5236; text-decoration: none; }
  nav a:hover { text-decoration: underline; }
  h1 { font-weight: 300; font-size: 2.2rem; margin: .3rem 0 .2rem; letter-spacing: .01em; }
  h2 { font-weight: 400; font-size: 1.1rem; color: #6e5236; text-transform: uppercase;
    letter-spacing: .12em; margin: 2rem 0 .8rem; border-bottom: 1px solid #ddd3c6; }
  .intro { color: #57524d; max-width: 42rem; }
  .card { background: #fff; border-radius: 6px; padding: .6rem .6rem .4rem;
    box-shadow: 0 1px 3px rgba(0,0,0,.12); }
  .card:hover { box-shadow: 0 3px 10px rgba(0,0,0,.2); }
  .card img { border-radius: 3px; }
  .card span { font-size: .9rem; }
  .card small { color: #67615a; font-size: .75rem; }
  .album { background: #fbf8f3; }
  footer { margin-top: 3rem; font-size: .8rem; color: #67615a; }
  .picture img { border-radius: 4px; box-shadow: 0 2px 12px rgba(0,0,0,.25); }
  .caption { font-size: 1.1rem; }
  .facts { color: #57524d; font-size: .9rem; }
  .facts b { color: #2b2a28; font-weight: 600; }
  :root { color-scheme: light dark; }
  @media (prefers-color-scheme: dark) {
    body { background: #1c1a17; color: #ece7e0; }
    nav a, a.up { color: #dcbf9f; }
    h2 { color: #dcbf9f; border-bottom-color: #3b362f; }
    .intro, .facts { color: #c4bcb1; }
    .card { background: #27241f; box-shadow: 0 1px 3px rgba(0,0,0,.6); }
    .album { background: #2d2a24; }
    .card small, footer { color: #b3aa9e; }
    .facts b { color: #ece7e0; } }
""".strip("\n")

# The colours of each style sheet's text, each on the ground it stands on: WCAG AA asks
# 4.5:1 of every one (small text included).
STYLE_CONTRASTS = [("#2b2a28", "#f4f1ec"), ("#6e5236", "#f4f1ec"), ("#57524d", "#f4f1ec"),
                   ("#2b2a28", "#ffffff"), ("#67615a", "#ffffff"), ("#67615a", "#fbf8f3"),
                   ("#67615a", "#f4f1ec"), ("#57524d", "#f4f1ec"),
                   # The same in dark mode.
                   ("#ece7e0", "#1c1a17"), ("#dcbf9f", "#1c1a17"), ("#c4bcb1", "#1c1a17"),
                   ("#ece7e0", "#27241f"), ("#b3aa9e", "#27241f"), ("#b3aa9e", "#2d2a24"),
                   ("#b3aa9e", "#1c1a17"), ("#ece7e0", "#2d2a24")]

# Arrow keys move to the previous and next picture, as the page's own links say.
KEYS_SCRIPT = (
    '<SCRIPT>document.addEventListener("keydown", function (e) {'
    ' var rel = {ArrowLeft: "prev", ArrowRight: "next"}[e.key];'
    ' if (!rel || e.altKey || e.ctrlKey || e.metaKey || e.shiftKey) return;'
    ' var link = document.querySelector("link[rel=" + rel + "]");'
    " if (link) location.href = link.href; });</SCRIPT>")

HEAD_META = ('<META charset="utf-8">\n'
             '<META name="viewport" content="width=device-width, initial-scale=1">')
# What search engines show of a page, and an empty icon, so that no browser asks the server
# for a favicon.ico that the site does not have.
INDEX_HEAD_EXTRA = ('\n<META name="description" content="${PageDescription}">'
                    '\n<LINK rel="icon" href="data:,">')
DETAIL_HEAD_EXTRA = ('<META name="description" content="${DetailPageDescription}">\n'
                     '<LINK rel="icon" href="data:,">\n')

# Alt text and titles: the caption as plain text, or a title made from the picture's name.
ALT_TEXT = "${ImageCaptionText}${ImageCaptionText!${BaseFileTitleHTML}}"

# The facts of a picture, each in a span of its own; the style sheet puts the separators.
FACTS = ('<P class="facts">${ImageSubjectName?<SPAN><B>${ImageSubjectName}</B></SPAN>}'
         "<SPAN>photographed by ${ImagePhotographerName}</SPAN>"
         '${ImageDateTaken?<SPAN><TIME datetime="${ImageDateTaken}">${ImageDateTakenText}</TIME></SPAN>}'
         "${ImageCamera?<SPAN>${ImageCamera}</SPAN>}"
         "${ImageLens?<SPAN>${ImageLens}</SPAN>}"
         "${ImageFocalLength?<SPAN>${ImageFocalLength}"
         "${ImageFocalLengthEquivalent? (${ImageFocalLengthEquivalent} on 35 mm film)}</SPAN>}"
         "${ImageAperture?<SPAN>${ImageAperture}</SPAN>}"
         "${ImageExposureTime?<SPAN>${ImageExposureTime}</SPAN>}"
         "${ImageISO?<SPAN>ISO ${ImageISO}</SPAN>}"
         '${ImageMapURL?<SPAN><A href="${ImageMapURL}">Show on a map</A></SPAN>}'
         '${VideoDuration?<SPAN><TIME datetime="${VideoDurationISO}">${VideoDuration}</TIME></SPAN>}'
         "<SPAN>${AnchorWidth} &times; ${AnchorHeight} pixels, ${FileSizeInK} K</SPAN></P>")

PAGER = ('<NAV class="pager"><A class="up" href="${UpPageURL}">&#8592; ${PageLabel}</A>'
         '<SPAN class="steps">${PrevDetailPageURL?<A rel="prev" href="${PrevDetailPageURL}" '
         'title="${PrevDetailPageCaptionText}">&#8249; previous</A>}'
         "<SPAN>${PictureIndex} of ${PictureCount}</SPAN>"
         '${NextDetailPageURL?<A rel="next" href="${NextDetailPageURL}" '
         'title="${NextDetailPageCaptionText}">next &#8250;</A>}</SPAN></NAV>')

# The links between the pages of a long index page, in the head and below the pictures;
# nothing when all pictures fit on one page.
INDEX_NEIGHBOUR_LINKS = ('${PreviousIndexPageURL?\n<LINK rel="prev" href="${PreviousIndexPageURL}">}'
                         '${NextIndexPageURL?\n<LINK rel="next" href="${NextIndexPageURL}">}')
INDEX_PAGER = ('${PageCount?\n<NAV class="pager pages" aria-label="Pages"><SPAN class="steps">'
               '${PreviousIndexPageURL?<A rel="prev" href="${PreviousIndexPageURL}">'
               '&#8249; previous page</A>}'
               "<SPAN>page ${PageNumber} of ${PageCount}</SPAN>"
               '${NextIndexPageURL?<A rel="next" href="${NextIndexPageURL}">next page &#8250;</A>}'
               "</SPAN></NAV>}")

# The site's feed, when the settings say where the site is published (SiteURL).
FEED_LINK = ('${FeedURL?\n<LINK rel="alternate" type="application/atom+xml" '
             'title="Newest pictures" href="${FeedURL}">}')
# An album's zip of its web-sized copies (AlbumZip), at the end of its pages.
ALBUM_DOWNLOAD = ('${AlbumZipURL?\n<P class="download"><A href="${AlbumZipURL}" download>'
                  'Download all pictures</A> (${AlbumZipFileNameHTML}, ${AlbumZipSizeInK} K)</P>}')

# The picture of a detail page, or for a video the video itself with its poster, played
# from the file as it is. The picture's box is known before it loads, so that nothing moves:
# its width and height attributes give its shape, and its width is what fits the page and
# 78 % of the screen's height.
DETAIL_PICTURE = (
    '${VideoURL?<P class="picture"><VIDEO controls preload="none" poster="${DetailImageURL}" '
    'width="${DetailImageWidth}" height="${DetailImageHeight}">'
    '<SOURCE src="${VideoURL}" type="${VideoType}"><A href="${VideoURL}">Download the video</A>'
    '</VIDEO></P>\n${VideoNote?<P class="note">${VideoNote}</P>\n}}'
    '${VideoURL!<P class="picture"><A href="${DetailImageURL}"><IMG src="${DetailImageURL}" '
    'width="${DetailImageWidth}" height="${DetailImageHeight}" alt="${ImageAltText}" '
    'style="width: min(100%, ${DetailImageWidth}px, '
    'calc(78vh * ${DetailImageWidth} / ${DetailImageHeight}))"></A></P>\n}')

NEIGHBOUR_LINKS = ('${PrevDetailPageURL?<LINK rel="prev" href="${PrevDetailPageURL}">\n}'
                   '${NextDetailPageURL?<LINK rel="next" href="${NextDetailPageURL}">\n}')

GLOBALS = {
    "VariableFileTitle": "Pixamond default layout",
    "VariableFileDescription":
        "A light, modern gallery: albums and series as cards, pictures in a grid,\n"
        "and a detail page for every picture.",
    "StyleSheet": "<STYLE>\n" + COMMON_STYLE + "\n" + VIEWER_STYLE + "\n" + STYLE + "\n</STYLE>",
    "ViewerScript": VIEWER_SCRIPT,
    "PageHeadTemplate":
        HEAD_META + INDEX_HEAD_EXTRA +
        "\n<TITLE>${PageTitle}${PageNumber?, page ${PageNumber}}</TITLE>"
        + INDEX_NEIGHBOUR_LINKS + FEED_LINK + "\n${StyleSheet}",
    "PageDescription": "${PageTitle}: pictures by ${PersonFullNameHTML}",
    "DetailPageDescription": ALT_TEXT + ", photographed by ${ImagePhotographerName}",
    "AlbumDownload": ALBUM_DOWNLOAD,
    "BodyTag": "<BODY>",
    "BodyEndTag": "</BODY>",
    "IndexPageLinks": INDEX_PAGER,
    "PageBodyTemplate":
        '<DIV class="page">\n'
        "<NAV>${ActualReturnLabel}</NAV>\n"
        "<MAIN>\n"
        "<H1>${PageLabel}</H1>\n"
        '${PageIntro?<P class="intro">${PageIntro}</P>}',
    "PageBodyBeginTemplate": "${BodyTag}\n${PageBodyTemplate}",
    "ImageAltText": ALT_TEXT,
    "ImageTag":
        '<IMG src="${ImageFileURL}"${ImageSrcSet? srcset="${ImageSrcSet}"} width="${DisplayWidth}" '
        'height="${DisplayHeight}" alt="${ImageAltText}"${ImageLoading? loading="${ImageLoading}"}>',
    # A card's label already names its picture: the image says only what a caption adds, so
    # that a screen reader does not read the name twice.
    "CardImageTag":
        '<IMG src="${ImageFileURL}"${ImageSrcSet? srcset="${ImageSrcSet}"} width="${DisplayWidth}" '
        'height="${DisplayHeight}" alt="${ImageCaptionText}"${ImageLoading? loading="${ImageLoading}"}>',
    "DirLeaderTemplate": '<H2>Albums</H2>\n<DIV class="grid">',
    # Album covers come first on a page and are few: loaded at once, not lazily, since one
    # of them is often the largest picture a visitor sees first.
    "DirEntryTemplate":
        '<A class="card album" href="${AnchorFileURL}">'
        '${ImageFileURL?<IMG src="${ImageFileURL}"${ImageSrcSet? srcset="${ImageSrcSet}"} '
        'width="${DisplayWidth}" height="${DisplayHeight}" alt="">}'
        "<SPAN>${PageLabel}</SPAN><SMALL>"
        "${TotalFileLinkCount?${TotalFileLinkCount} pictures, }${TotalFileSizeInK} K</SMALL></A>",
    "DirTrailerTemplate": "</DIV>",
    "FileLeaderTemplate": '<H2>Pictures</H2>\n<DIV class="grid">',
    "FileEntryTemplate":
        '<A class="card" href="${DetailPageFileURL}" data-full="${DetailImageURL}" '
        'data-caption="' + ALT_TEXT + '">${CardImageTag}'
        "<SPAN>${DetailPageLabel}</SPAN></A>",
    "FileTrailerTemplate": "</DIV>${IndexPageLinks}\n${ViewerScript}",
    "PageEndTemplate":
        "${AlbumDownload}</MAIN>\n"
        "<FOOTER>${TotalFileLinkCount?${TotalFileLinkCount} pictures, }${TotalFileSizeInK} K "
        "in all &middot; pictures by ${PersonFullNameHTML}"
        '${FeedURL? &middot; <A href="${FeedURL}">feed</A>}</FOOTER>\n'
        "</DIV>",
    "ParentPageLabel": "${PageLabel}",
    "PossibleReturnLabel": '<A class="up" href="${ParentPageAnchor}">&#8592; ${ParentPageLabel}</A>',
    "DetailPageTitle": ALT_TEXT,
    "DetailPageLabel": "${BaseFileTitleHTML}",
    "ImagePhotographerName": "${PersonFullNameHTML}",
    "DetailPageTemplate":
        "<HEAD>\n" + HEAD_META + "\n" + DETAIL_HEAD_EXTRA +
        "<TITLE>${DetailPageTitle}</TITLE>\n"
        + NEIGHBOUR_LINKS +
        "${StyleSheet}\n"
        "</HEAD>\n"
        "<BODY>\n"
        '<DIV class="page">\n'
        + PAGER + "\n"
        "<MAIN>\n"
        "<H1>${DetailPageLabel}</H1>\n"
        + DETAIL_PICTURE +
        '${ImageCaption?<P class="caption">${ImageCaption}</P>\n}'
        + FACTS + "\n"
        "</MAIN>\n"
        "</DIV>\n"
        + KEYS_SCRIPT + "\n"
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
    "PageTitle": "${DirBaseNameHTML}: ${SeriesNameRangeHTML}",
    "PageLabel": "${SeriesNameRangeHTML}",
}


def with_style(layout, style, title, description):
    """A copy of `layout` with another style sheet, title and description."""
    result = dict(layout)
    result["VariableFileTitle"] = title
    result["VariableFileDescription"] = description
    result["StyleSheet"] = ("<STYLE>\n" + COMMON_STYLE + "\n" + VIEWER_STYLE + "\n" + style +
                            "\n</STYLE>")
    return result


DARK_STYLE = """
  body { margin: 0; background: #15171a; color: #e8e6e3;
    font: 16px/1.5 "Helvetica Neue", Helvetica, Arial, sans-serif;
    --gap: 1.25rem; }
  .page { max-width: 72rem; margin: 0 auto; padding: 2rem 1rem 4rem; }
  nav { font-size: .85rem; min-height: 1.4rem; letter-spacing: .05em; }
  nav a, a.up { color: #a9c0d8; text-decoration: none; }
  a { color: #a9c0d8; }
  h1 { font-weight: 200; font-size: 2.8rem; margin: .4rem 0; }
  h2 { font-weight: 400; font-size: .8rem; color: #9aa4ae; text-transform: uppercase;
    letter-spacing: .3em; margin: 2.5rem 0 1rem; }
  .intro { color: #b4bac1; max-width: 40rem; }
  .card { padding: .5rem; background: #1e2126; border: 1px solid #2a2e34; }
  .card:hover { border-color: #a9c0d8; }
  .card span { font-size: .85rem; }
  .card small { color: #9aa4ae; font-size: .75rem; }
  footer { margin-top: 4rem; font-size: .75rem; color: #9aa4ae; }
  .caption { font-size: 1.1rem; }
  .facts { color: #b4bac1; font-size: .9rem; }
  .facts b { color: #e8e6e3; font-weight: 600; }
""".strip("\n")
DARK_CONTRASTS = [("#e8e6e3", "#15171a"), ("#a9c0d8", "#15171a"), ("#9aa4ae", "#15171a"),
                  ("#b4bac1", "#15171a"), ("#e8e6e3", "#1e2126"), ("#9aa4ae", "#1e2126")]

SHEET_STYLE = """
  body { margin: 0; background: #fff; color: #111; font: 14px/1.4 Georgia, serif;
    --gap: 0; }
  .page { max-width: 64rem; margin: 0 auto; padding: 1rem; }
  nav { font-size: .85rem; font-style: italic; }
  a { color: #a00; }
  h1 { font-size: 1.8rem; margin: .2rem 0; border-bottom: 3px double #111; }
  h2 { font-size: 1rem; margin: 1.2rem 0 .4rem; font-variant: small-caps; }
  .intro { font-style: italic; }
  .grid { display: grid; border-top: 1px solid #111; border-left: 1px solid #111;
    grid-template-columns: repeat(auto-fill, minmax(min(11rem, 42vw), 1fr)); }
  .card { padding: .4rem; border-right: 1px solid #111; border-bottom: 1px solid #111;
    justify-content: flex-start; }
  .card:hover { background: #f3efe6; }
  .card span { font-size: .8rem; }
  .card small { font-size: .75rem; color: #555; }
  footer { margin-top: 2rem; font-size: .8rem; border-top: 1px solid #111; }
  .picture img { border: 1px solid #111; }
  .facts { font-size: .85rem; }
""".strip("\n")
SHEET_CONTRASTS = [("#111111", "#ffffff"), ("#aa0000", "#ffffff"), ("#555555", "#ffffff"),
                   ("#111111", "#f3efe6"), ("#555555", "#f3efe6")]

LIST_STYLE = """
  body { font: 15px/1.5 system-ui, sans-serif; margin: 1.5rem auto; max-width: 48rem;
    padding: 0 1rem; color: #222; background: #fff; --gap: 1rem; }
  table { border-collapse: collapse; width: 100%; }
  td, th { border-bottom: 1px solid #ddd; padding: .3rem .5rem; text-align: left;
    vertical-align: middle; }
  th { font-size: .8rem; color: #595959; }
  a { color: #0645ad; }
  td img { display: block; max-width: 30vw; height: auto; }
""".strip("\n")
LIST_CONTRASTS = [("#222222", "#ffffff"), ("#595959", "#ffffff"), ("#0645ad", "#ffffff")]

LIST_LAYOUT = dict(GLOBALS)
LIST_LAYOUT.update({
    "VariableFileTitle": "Plain list",
    "VariableFileDescription":
        "No frills: a table of albums and a table of pictures with their sizes,\n"
        "quick to load on any connection.",
    "StyleSheet": "<STYLE>\n" + COMMON_STYLE + "\n" + LIST_STYLE + "\n</STYLE>",
    "PageBodyTemplate":
        "<NAV>${ActualReturnLabel}</NAV>\n<MAIN>\n<H1>${PageLabel}</H1>\n${PageIntro?<P>${PageIntro}</P>}",
    "DirLeaderTemplate":
        "<H2>Albums</H2>\n<TABLE>\n"
        "<TR><TH>Picture</TH><TH>Album</TH><TH>Pictures</TH><TH>Size</TH></TR>",
    "DirEntryTemplate":
        '<TR><TD>${ImageFileURL?<A href="${AnchorFileURL}"><IMG src="${ImageFileURL}"'
        '${ImageSrcSet? srcset="${ImageSrcSet}"} width="${DisplayWidth}" '
        'height="${DisplayHeight}" alt="${PageLabel}"></A>}</TD>'
        '<TD><A href="${AnchorFileURL}">${PageLabel}</A></TD>'
        "<TD>${TotalFileLinkCount}</TD><TD>${TotalFileSizeInK} K</TD></TR>",
    "DirTrailerTemplate": "</TABLE>",
    "FileLeaderTemplate":
        "<H2>Pictures</H2>\n<TABLE>\n"
        "<TR><TH>Picture</TH><TH>Name</TH><TH>Pixels</TH><TH>Size</TH></TR>",
    "FileEntryTemplate":
        '<TR><TD><A href="${DetailPageFileURL}">${ImageTag}</A></TD>'
        '<TD><A href="${DetailPageFileURL}">${DetailPageLabel}</A></TD>'
        "<TD>${AnchorWidth} &times; ${AnchorHeight}</TD><TD>${FileSizeInK} K</TD></TR>",
    "FileTrailerTemplate": "</TABLE>${IndexPageLinks}",
    "PageEndTemplate":
        "${AlbumDownload}</MAIN>\n"
        "<P><SMALL>${TotalFileLinkCount?${TotalFileLinkCount} pictures, }${TotalFileSizeInK} K "
        'in all. ${PersonFullNameHTML}${FeedURL? <A href="${FeedURL}">Feed</A>}</SMALL></P>',
    "DetailPageTemplate":
        "<HEAD>\n" + HEAD_META + "\n" + DETAIL_HEAD_EXTRA +
        "<TITLE>${DetailPageTitle}</TITLE>\n"
        + NEIGHBOUR_LINKS +
        "${StyleSheet}\n"
        "</HEAD>\n"
        "<BODY>\n"
        + PAGER + "\n"
        "<MAIN>\n"
        "<H1>${DetailPageLabel}</H1>\n"
        + DETAIL_PICTURE +
        "${ImageCaption?<P>${ImageCaption}</P>\n}"
        + FACTS + "\n</MAIN>\n"
        + KEYS_SCRIPT + "\n"
        "</BODY>",
})

# The plain list keeps plain links: no viewer there.
del LIST_LAYOUT["ViewerScript"]

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


def luminance(colour):
    """The relative luminance of "#rrggbb", as WCAG defines it."""
    channels = [int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5)]
    linear = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in channels]
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]


def contrast(foreground, background):
    lighter, darker = sorted((luminance(foreground), luminance(background)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


def check_contrasts():
    for name, pairs in (("default", STYLE_CONTRASTS), ("dark", DARK_CONTRASTS),
                        ("contact sheet", SHEET_CONTRASTS), ("list", LIST_CONTRASTS)):
        for foreground, background in pairs:
            ratio = contrast(foreground, background)
            assert ratio >= 4.5, f"{name}: {foreground} on {background} is only {ratio:.2f}:1"


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
    check_contrasts()
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
