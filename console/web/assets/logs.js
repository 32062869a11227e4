// The log viewers and the About box.
