// The web console's shared page code (window.wdx).
