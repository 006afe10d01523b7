// placeholder until the program's logic lands
